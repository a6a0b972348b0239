# Reads GoogleTest output and prints one line per skipped test: its name, a
# tab, and the first line of the reason given to GTEST_SKIP.
/^\[ RUN      \] / { name = $4; reason = ""; want = 0; next }
/: Skipped$/ { want = 1; next }
want { reason = $0; want = 0; next }
/^\[  SKIPPED \] .*\([0-9]+ ms\)$/ { print $4 "\t" (reason == "" ? "no reason given" : reason) }
