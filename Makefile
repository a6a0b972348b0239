# Front door for the two everyday commands; the presets hold the build details.
JOBS ?= $(shell nproc)
SAMPLE := build/sample.img
NATIVE := build/native

.PHONY: all deps build run test sample asan tsan mingw clean
all: build

deps:
	@tools/install-deps.sh

build: deps
	@cmake --preset native >/dev/null
	@cmake --build --preset native -j $(JOBS)

$(SAMPLE): | build
	@$(NATIVE)/tools/zw-mkimage --seed 1 --count 3000 --out $(SAMPLE)

sample: build
	@[ -f $(SAMPLE) ] || $(NATIVE)/tools/zw-mkimage --seed 1 --count 3000 --out $(SAMPLE)

# The main job on the built-in sample volume, bound as drive D:.
run: sample
	@$(NATIVE)/zanderwyn --drive D=$(SAMPLE) --stats search 보고서 "*.pdf" --sort size --desc --long | head -n 30

# Every test: native, sanitizers, and the Windows build under Wine.
test: deps
	@tests/run-all.sh

clean:
	rm -rf build
