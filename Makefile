# The two front doors: `make run` shows the product, `make test` proves it.
# Both install whatever this machine lacks first.

.PHONY: run test setup bench fuzz-long sweep shapes format release screenshots

setup:
	@bash scripts/setup.sh

run: setup
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows
	@bash scripts/run.sh

test: setup
	@bash scripts/test.sh

# The README's pictures of the window, taken again from the headless run of
# `make run` on a virtual display of its own.
screenshots: setup
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows
	@bash scripts/run.sh --screenshots docs

# Benchmarks of the package load and the log: figures, not assertions.
bench: setup
	@cmake --preset native >/dev/null
	@cmake --build --preset native --target kr_bench
	@./build/native/tests/bench/kr_bench

# The power-cut sweep over every report of a whole run, in every variant
# (make test tries an even spread of 200 cuts).
sweep: setup
	@cmake --preset native >/dev/null
	@cmake --build --preset native --target kr_unit_tests
	@KR_SWEEP_CUTS=all ./build/native/tests/unit/kr_unit_tests --gtest_filter='PowerCutSweep.*'

# The shape of each fault-matrix row's traffic, written anew under
# tests/data/shapes: a deliberate act, whose diff a review reads.
shapes: setup
	@cmake --preset native >/dev/null
	@cmake --build --preset native --target kr_unit_tests
	@KR_WRITE_SHAPES=1 ./build/native/tests/unit/kr_unit_tests --gtest_filter='RunEndings/FaultMatrix.*'

# A long fuzzing session by hand: FUZZ_SECONDS per target (default 600), or
# FUZZ_RUNS inputs if they come first; FUZZ_TARGET picks one target.
fuzz-long: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@bash scripts/fuzz-long.sh $${FUZZ_SECONDS:-600} $${FUZZ_RUNS:-}

format:
	@bash scripts/format.sh

# The shipped executable in dist/ with its SHA-256 digest, signed when
# KR_SIGN_CERT and KR_SIGN_KEY are given (see the README), unsigned otherwise.
export KR_SIGN_CERT KR_SIGN_KEY KR_SIGN_PASS KR_SIGN_CA KR_SIGN_TIMESTAMP_URL
release: setup
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows --target KrEFM8SwUpgrade
	@bash scripts/release.sh --krpack build/windows/host-tools/package/krpack/krpack \
		build/windows/KrEFM8SwUpgrade.exe dist
