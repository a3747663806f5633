# Prismeta: `make run` and `make test` work on a fresh Debian 12 machine.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
DEMO       ?= examples/demo.prismeta.json

FUZZ_BUILD ?= build-fuzz
PACKAGE_BUILD ?= build-package
CHECK_BUILD ?= build-check

.PHONY: all deps configure build run test test-engine test-asan test-tsan bench fuzz soak isf-conformance calibration-full check-includes package screenshots clean format

all: build

deps:
	./scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The application and the command-line tool only: the tests and benchmarks
# are built by `make test` and `make bench`.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target prismeta prismeta-cli
	./scripts/run-app $(BUILD) $(DEMO)

# The pictures of the README and the user guide (docs/images/), made again
# from the example projects: the editor under a private X server, the
# projector outputs through prismeta-cli.
screenshots: configure
	cmake --build $(BUILD) -j $(JOBS) --target prismeta prismeta-cli
	./scripts/screenshots $(BUILD)

# The Debian package prismeta_<version>_amd64.deb in $(PACKAGE_BUILD): a
# Release build of the programs only (no tests, no benchmarks), installing
# under /usr; scripts/package-check installs it in a fresh Debian 12.
package: deps
	./scripts/install-deps dpkg-dev help2man appstream
	cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	      -DPRISMETA_BUILD_TESTS=OFF -DPRISMETA_BUILD_BENCH=OFF -DPRISMETA_MAN_PAGES=ON $(CMAKE_ARGS)
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	appstreamcli validate --no-net $(PACKAGE_BUILD)/share/*.metainfo.xml
	cd $(PACKAGE_BUILD) && cpack
	@ls -l $(PACKAGE_BUILD)/prismeta_*.deb

# Every test of the normal build (the fuzz corpora and regression inputs
# replayed among them), then the engine and application tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer (leaks are errors), then the
# media and remote-control tests under ThreadSanitizer.
test: build
	./scripts/run-tests $(BUILD)
	$(MAKE) --no-print-directory test-asan
	$(MAKE) --no-print-directory test-tsan
	./scripts/second-attempts --builds $(BUILD) $(ASAN_BUILD)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPRISMETA_SANITIZE=ON \
	      -DPRISMETA_BUILD_APP=ON -DPRISMETA_BUILD_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	./scripts/run-tests $(ASAN_BUILD)

test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPRISMETA_TSAN=ON \
	      -DPRISMETA_BUILD_APP=OFF -DPRISMETA_BUILD_BENCH=OFF $(CMAKE_ARGS)
	./scripts/run-tsan-tests $(TSAN_BUILD)

# libFuzzer on each fuzz target for FUZZ_SECONDS (default 60) each, in
# $(FUZZ_BUILD) with clang; crashes land in tests/corpus/regressions/.
fuzz: deps
	FUZZ_BUILD=$(FUZZ_BUILD) ./scripts/fuzz

# Four looping videos in one headless renderer for SOAK_SECONDS (default 600)
# while surfaces come and go; memory and dropped frames at the end.
soak: configure
	cmake --build $(BUILD) -j $(JOBS) --target prismeta_soak
	./scripts/soak $(BUILD)

# Every shader of the public ISF collection (ISF_FILES, or the folder CMake
# found beside the checkout) drawn at TIME 1 and 2.5; the share that shows a
# picture and the time per shader at the end.
isf-conformance: configure
	cmake --build $(BUILD) -j $(JOBS) --target prismeta_isf_conformance
	./scripts/isf-conformance $(BUILD)

# Camera calibration on the full-size synthetic rig (four 1920x1080
# projectors): the accuracy, seam and evenness bounds. Minutes of rendering.
calibration-full: configure
	cmake --build $(BUILD) -j $(JOBS) --target calibration_full_tests
	$(BUILD)/bin/calibration_full_tests

bench: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)
	./scripts/run-benchmarks $(BUILD)

# Every file compiled on its own, without unity batches or precompiled headers
# (both hide a missing #include; see cmake/CompileSpeed.cmake). No tests run.
check-includes: deps
	cmake -S . -B $(CHECK_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPRISMETA_UNITY=OFF \
	      -DPRISMETA_PCH=OFF $(CMAKE_ARGS)
	cmake --build $(CHECK_BUILD) -j $(JOBS)

format:
	find src tests tools bench \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(CHECK_BUILD) $(PACKAGE_BUILD)
