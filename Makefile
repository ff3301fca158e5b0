# Entry points: `make demo` shows the add-on in the stand-in terminal, `make test` runs every
# test. Both install what is missing first (Debian 12 or 13, as root or with sudo). `make bench`
# measures the add-on against baselines, `make dist` packs the release zip into out/.
BUILD ?= build
WIN := $(BUILD)/win32
CLANG_CL := $(BUILD)/clang-cl
NATIVE := $(BUILD)/native
FUZZ_SECONDS ?= 60
JOBS ?= 2
BENCH_RUNS ?= 30
# One CPU for Wine's server, the display and the measured process: a server call then costs the
# same in every run instead of depending on which cores the scheduler picked. Empty: no pinning.
BENCH_CPU ?= 0
# clang-N, lld-N, llvm-N of the release (16 on Debian 12, 19 on Debian 13); exported for the scripts.
ifeq ($(origin LLVM_VERSION),undefined)
LLVM_VERSION := $(shell tools/llvm-version.sh)
endif
export LLVM_VERSION

.PHONY: all deps win32 clang-cl native demo test fuzz stress bench dist debian12 debian13 clean

all: win32

deps:
	@tools/install-deps.sh

win32: deps
	@cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release \
	    -DQX_MSVC_ABI_DLL=$(abspath $(CLANG_CL))/bin/QXLAUNCH.DLL >/dev/null
	@cmake --build $(WIN) -j $(JOBS)

# The add-on in the MSVC ABI (clang-cl, lld-link): its image is gated at its link and checked by
# its own release tests, and the Wine tests of the mingw build run on it as well (msvc_abi.*).
clang-cl: deps
	@cmake -S . -B $(CLANG_CL) -DCMAKE_TOOLCHAIN_FILE=cmake/clang-cl.cmake -DCMAKE_BUILD_TYPE=Release \
	    -DQX_LLVM_ROOT=/usr/lib/llvm-$(LLVM_VERSION) >/dev/null
	@cmake --build $(CLANG_CL) -j $(JOBS)

# A cache made with another clang is dropped first: CMake would start it afresh on its own, but
# without the -D settings of this line (the Windows builds' tests would silently go missing).
native: deps win32 clang-cl
	@grep -qsx 'CMAKE_CXX_COMPILER:[A-Z]*=.*clang++-$(LLVM_VERSION)' $(NATIVE)/CMakeCache.txt || rm -f $(NATIVE)/CMakeCache.txt
	@cmake -S . -B $(NATIVE) -DCMAKE_C_COMPILER=clang-$(LLVM_VERSION) -DCMAKE_CXX_COMPILER=clang++-$(LLVM_VERSION) \
	    -DQX_WIN32_BUILD_DIR="$(abspath $(WIN));$(abspath $(CLANG_CL))" >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

demo: win32
	@tools/demo.sh $(WIN)/bin

test: native
	@tools/with-display.sh ctest --test-dir $(NATIVE) --output-on-failure

fuzz: native
	@tools/fuzz.sh $(NATIVE) $(FUZZ_SECONDS)

bench: win32 clang-cl
	@$(if $(BENCH_CPU),taskset -c $(BENCH_CPU)) tools/with-display.sh python3 tools/bench/bench.py $(WIN) $(BENCH_RUNS)

dist: win32
	@tools/dist.sh $(WIN)/bin/QXLAUNCH.DLL out

# The heavy reliability runs (1,000 picks, 200 fresh loads, 100 settings sheets; QX_STRESS_PICKS,
# QX_STRESS_LOADS, QX_STRESS_SHEETS).
stress: native
	@tools/with-display.sh tools/stress.sh $(abspath $(WIN))/bin $(BUILD)/stress

# `make demo` and `make test` on Debian 12 or 13, in a fresh chroot made from Debian's packages
# under $(BUILD)/debianN (or DEBIAN_ROOT) and kept for the next run, with the release, updates and
# security suites of a standard installation in its sources. Needs root; CI does not run them.
debian12 debian13:
	@DEBIAN_ROOT=$${DEBIAN_ROOT:-$(abspath $(BUILD))/$@} tools/debian-chroot.sh $(@:debian%=%)

# Never into a mount (the chroot's /dev, /proc while a run is under way).
clean:
	rm -rf --one-file-system $(BUILD)
