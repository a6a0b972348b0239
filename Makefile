# Front door for the two everyday commands; the presets hold the build details.
# Build output goes to logs under build/logs and is shown only when it fails.
JOBS ?= $(shell nproc)
SAMPLE := build/sample.img
NATIVE := build/native
LOGGED := tools/logged.sh build/logs

# No "Entering directory" lines, here or from the makes that cmake runs.
MAKEFLAGS += --no-print-directory

.PHONY: all deps build run test sample asan tsan mingw clean
all: build

deps:
	@tools/install-deps.sh

build: deps
	@echo "building (log: build/logs/native-build.txt)"
	@$(LOGGED)/native-configure.txt cmake --preset native
	@$(LOGGED)/native-build.txt cmake --build --preset native -j $(JOBS)

sample: build
	@[ -f $(SAMPLE) ] || $(LOGGED)/sample.txt $(NATIVE)/tools/zw-mkimage --seed 1 --count 3000 --out $(SAMPLE)

# The main job on the built-in sample volume, bound as drive D:.
run: sample
	@$(NATIVE)/zanderwyn --drive D=$(SAMPLE) --stats search 보고서 "*.pdf" --sort size --desc --long | head -n 30

# Every test: native, sanitizers, and the Windows build under Wine.
test: deps
	@tests/run-all.sh

clean:
	rm -rf build
