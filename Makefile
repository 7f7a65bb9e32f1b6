# make demo: builds the programs and runs a sample update in the terminal.
# make test: installs what is missing, builds with the sanitizers, runs every
# test and the fuzzers briefly, then builds for Windows (32 and 64 bits) and
# runs the Windows tests under Wine. make bench: a Release build that measures
# the file transfer against its peers (not part of make test). make fuzz-long:
# a long fuzzing campaign that keeps what its corpus gained (tests/fuzz).
BUILD ?= build
JOBS ?= $(shell nproc)
# The Windows programs go on floppies: they are built for size.
WINDOWS_BUILD_TYPE ?= MinSizeRel

.PHONY: all demo test unit fuzz fuzz-long bench windows win32 win64 deps clean

all: test

test: unit fuzz windows

demo:
	sh scripts/deps.sh build
	cmake -S . -B $(BUILD)/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEFA_TESTS=OFF
	cmake --build $(BUILD)/release -j $(JOBS) --target orbane tavrix szdd mkmedium
	python3 scripts/demo.py --bin-dir $(BUILD)/release --work $(BUILD)/demo

unit:
	sh scripts/deps.sh test
	cmake -S . -B $(BUILD)/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEFA_SANITIZE=ON
	cmake --build $(BUILD)/test -j $(JOBS)
	cd $(BUILD)/test && ctest --output-on-failure -j $(JOBS)

fuzz:
	sh scripts/deps.sh test
	cmake -S . -B $(BUILD)/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZEFA_FUZZ=ON
	cmake --build $(BUILD)/fuzz -j $(JOBS)
	cd $(BUILD)/fuzz && ctest --output-on-failure

# A long campaign (not part of make test): each fuzz target FUZZ_SECONDS on
# its corpus, FUZZ_JOBS at a time; what adds coverage is merged into
# tests/fuzz/corpus, to be committed. FUZZ_TARGETS picks some of them.
FUZZ_SECONDS ?= 600
FUZZ_JOBS ?= 1
FUZZ_TARGETS ?=
fuzz-long:
	sh scripts/deps.sh test
	cmake -S . -B $(BUILD)/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZEFA_FUZZ=ON
	cmake --build $(BUILD)/fuzz -j $(JOBS)
	sh scripts/fuzz-long.sh $(BUILD)/fuzz $(FUZZ_SECONDS) $(FUZZ_JOBS) $(FUZZ_TARGETS)

windows: win32 win64

# The product's architecture: built, and checked to import only the system's
# DLLs; its programs go on the medium. Nothing here runs 32-bit Windows code.
win32:
	sh scripts/deps.sh windows
	cmake -S . -B $(BUILD)/win32 -G Ninja -DCMAKE_BUILD_TYPE=$(WINDOWS_BUILD_TYPE) \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake
	cmake --build $(BUILD)/win32 -j $(JOBS)
	cd $(BUILD)/win32 && ctest --output-on-failure -j $(JOBS)

# The same sources for 64-bit Windows, whose tests run under wine64 in a fresh
# prefix with a virtual display (scripts/wine-session.sh). The end-to-end
# media are made with the host's szdd and mkmedium, built in $(BUILD)/host.
win64:
	sh scripts/deps.sh windows
	cmake -S . -B $(BUILD)/host -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEFA_TESTS=OFF
	cmake --build $(BUILD)/host -j $(JOBS) --target szdd mkmedium
	cmake -S . -B $(BUILD)/win64 -G Ninja -DCMAKE_BUILD_TYPE=$(WINDOWS_BUILD_TYPE) \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-x86_64.cmake -DZEFA_MEDIUM_PROGRAMS=$(CURDIR)/$(BUILD)/win32 \
	  -DZEFA_HOST_TOOLS=$(CURDIR)/$(BUILD)/host
	cmake --build $(BUILD)/win64 -j $(JOBS)
	sh scripts/wine-session.sh $(BUILD)/win64/wine.env \
	  ctest --test-dir $(BUILD)/win64 --output-on-failure -j $(JOBS)

bench:
	sh scripts/deps.sh bench
	cmake -S . -B $(BUILD)/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEFA_TESTS=OFF -DZEFA_BENCH=ON
	cmake --build $(BUILD)/bench -j $(JOBS)
	$(BUILD)/bench/bench/transfer_bench $(BUILD)/bench/work

clean:
	rm -rf $(BUILD)
