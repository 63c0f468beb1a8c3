# The two front doors: `make run` shows the product, `make test` proves it.
# Both install whatever this machine lacks first.

.PHONY: run test setup bench fuzz-long format

setup:
	@bash scripts/setup.sh

run: setup
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows
	@bash scripts/run.sh

test: setup
	@bash scripts/test.sh

# Benchmarks of the package load and the log: figures, not assertions.
bench: setup
	@cmake --preset native >/dev/null
	@cmake --build --preset native --target kr_bench
	@./build/native/tests/bench/kr_bench

# A long fuzzing session by hand: FUZZ_SECONDS per target (default 600).
fuzz-long: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@bash scripts/fuzz-long.sh $${FUZZ_SECONDS:-600}

format:
	@bash scripts/format.sh
