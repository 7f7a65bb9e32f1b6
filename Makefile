# make demo: builds the programs and runs a sample update in the terminal.
# make test: installs what is missing, builds with the sanitizers, runs every
# test and the fuzzers briefly, then builds for Windows (32 and 64 bits) and
# runs the Windows tests under Wine, the 32-bit programs under the 32-bit
# Wine where this machine runs 32-bit programs (else the 64-bit ones run
# every Windows test in their stead), and builds the Debian package, which
# lintian checks. make bench: a Release build that measures the file transfer and a
# whole update against their peers (not part of make test). make fuzz-long:
# a long fuzzing campaign that keeps what its corpus gained (tests/fuzz).
BUILD ?= build
JOBS ?= $(shell nproc)
# The Windows programs go on floppies: they are built for size.
WINDOWS_BUILD_TYPE ?= MinSizeRel

# make install [PREFIX=DIR]: zefa-update, mkmedium and szdd in bin, the
# launcher Orbane and the updater Tavrix.bin, which zefa-update starts, in
# libexec/zefa-update, with the manual pages (docs/packaging.md). make deb: the
# Debian package of the same tree and its -dbgsym package, checked by lintian.
# make package: those, and a zip of the Windows programs that go on a medium,
# checked as the Windows tests check them (tests/medium: imports, headers, sizes).
PREFIX ?= /usr/local

.PHONY: all demo test unit fuzz fuzz-long bench windows i386-probe host-tools win32 win64 install deb package deps clean

all: test

test: unit fuzz windows deb

demo:
	sh scripts/deps.sh build
	cmake -S . -B $(BUILD)/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEFA_TESTS=OFF
	cmake --build $(BUILD)/release -j $(JOBS) --target orbane tavrix szdd mkmedium
	python3 scripts/demo.py --bin-dir $(BUILD)/release --work $(BUILD)/demo

# Some hosts of our kind refuse every 32-bit program, the 32-bit Wine
# included. Whether this one does is found once per make, by running one
# (scripts/i386_probe.py), and decides what the Windows part runs: where
# they run, the i686 programs (the product) run every Windows test and
# scenario under the 32-bit Wine; where they are refused, the i686 programs
# are built and checked without running them, their tests are reported as
# skipped, and the x86_64 programs run every test and scenario instead.
I386 = $(BUILD)/i386-probe.txt
i386-probe:
	sh scripts/deps.sh build
	mkdir -p $(BUILD)
	python3 scripts/i386_probe.py $(BUILD) >$(I386).new
	mv $(I386).new $(I386)
	@echo "32-bit programs: $$(cat $(I386))"

# zefa-update's tests make a 32-bit prefix too where 32-bit programs run.
unit: i386-probe
	ZEFA_I386="$$(cat $(I386))" sh scripts/deps.sh test
	cmake -S . -B $(BUILD)/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEFA_SANITIZE=ON
	cmake --build $(BUILD)/test -j $(JOBS)
	ZEFA_I386="$$(cat $(I386))" ctest --test-dir $(BUILD)/test --output-on-failure -j $(JOBS)

# The fuzz build uses clang 19: the libFuzzer of Debian's default clang (14)
# looks for each feature of a run in its list of rare features one by one,
# which in a long campaign takes most of the time.
FUZZ_CLANG ?= clang-19
FUZZ_CMAKE = -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEFA_FUZZ=ON \
  -DCMAKE_C_COMPILER=$(FUZZ_CLANG) -DCMAKE_CXX_COMPILER=$(subst clang,clang++,$(FUZZ_CLANG))

fuzz: i386-probe
	ZEFA_I386="$$(cat $(I386))" sh scripts/deps.sh test
	cmake -S . -B $(BUILD)/fuzz $(FUZZ_CMAKE)
	cmake --build $(BUILD)/fuzz -j $(JOBS)
	cd $(BUILD)/fuzz && ctest --output-on-failure

# A long campaign (not part of make test): each fuzz target FUZZ_SECONDS on
# its corpus, FUZZ_JOBS at a time; what adds coverage is merged into
# tests/fuzz/corpus, to be committed. FUZZ_TARGETS picks some of them.
FUZZ_SECONDS ?= 600
FUZZ_JOBS ?= 1
FUZZ_TARGETS ?=
fuzz-long: i386-probe
	ZEFA_I386="$$(cat $(I386))" sh scripts/deps.sh test
	cmake -S . -B $(BUILD)/fuzz $(FUZZ_CMAKE)
	cmake --build $(BUILD)/fuzz -j $(JOBS)
	sh scripts/fuzz-long.sh $(BUILD)/fuzz $(FUZZ_SECONDS) $(FUZZ_JOBS) $(FUZZ_TARGETS)

windows: win32 win64
	@case "$$(cat $(I386))" in refused:*) \
	  echo "make windows: this machine refuses 32-bit programs ($$(sed 's/^refused: *//' $(I386))); the i686 programs were built and checked but not run; the x86_64 programs ran every scenario instead" ;; \
	esac

# The media of the end-to-end scenarios under Wine are made with the host's
# szdd and mkmedium, built in $(BUILD)/host.
host-tools: i386-probe
	ZEFA_I386="$$(cat $(I386))" sh scripts/deps.sh windows
	cmake -S . -B $(BUILD)/host -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEFA_TESTS=OFF
	cmake --build $(BUILD)/host -j $(JOBS) --target szdd mkmedium

# The product: the 32-bit programs, checked to import only the system's DLLs,
# and every Windows test and end-to-end scenario (their media carry these
# programs) under the 32-bit Wine in a 32-bit prefix, with a virtual display
# (scripts/wine-session.sh); where 32-bit programs are refused, the checks
# alone, and the rest reported as skipped.
win32: host-tools
	cmake -S . -B $(BUILD)/win32 -G Ninja -DCMAKE_BUILD_TYPE=$(WINDOWS_BUILD_TYPE) \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake -DZEFA_HOST_TOOLS=$(CURDIR)/$(BUILD)/host \
	  "-DZEFA_I386=$$(cat $(I386))"
	cmake --build $(BUILD)/win32 -j $(JOBS)
	if [ "$$(cat $(I386))" = runs ]; then \
	  sh scripts/wine-session.sh $(BUILD)/win32/wine.env ctest --test-dir $(BUILD)/win32 --output-on-failure -j $(JOBS); \
	else \
	  ctest --test-dir $(BUILD)/win32 --output-on-failure -j $(JOBS); \
	fi

# The same sources for 64-bit Windows under wine64 in a 64-bit prefix: its
# unit tests, and of the scenarios only those where a 64-bit Windows differs
# for the programs (the registry's two views: the keys are read in the view
# of 32-bit programs). Where 32-bit programs are refused, it stands in for
# the product: every scenario, and the restart-time deletion.
WIN64_SCENARIOS = complete_update;expansion_kit_update
win64: host-tools
	cmake -S . -B $(BUILD)/win64 -G Ninja -DCMAKE_BUILD_TYPE=$(WINDOWS_BUILD_TYPE) \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-x86_64.cmake -DZEFA_HOST_TOOLS=$(CURDIR)/$(BUILD)/host \
	  "-DZEFA_E2E_SCENARIOS=$(WIN64_SCENARIOS)" "-DZEFA_I386=$$(cat $(I386))"
	cmake --build $(BUILD)/win64 -j $(JOBS)
	sh scripts/wine-session.sh $(BUILD)/win64/wine.env \
	  ctest --test-dir $(BUILD)/win64 --output-on-failure -j $(JOBS)

bench:
	sh scripts/deps.sh bench
	cmake -S . -B $(BUILD)/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEFA_TESTS=OFF -DZEFA_BENCH=ON
	cmake --build $(BUILD)/bench -j $(JOBS)
	$(BUILD)/bench/bench/transfer_bench $(BUILD)/bench/work
	python3 bench/update_bench.py --bin-dir $(BUILD)/bench --work $(BUILD)/bench/work

install:
	sh scripts/deps.sh build
	cmake -S . -B $(BUILD)/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEFA_TESTS=OFF
	cmake --build $(BUILD)/release -j $(JOBS)
	cmake --install $(BUILD)/release --prefix $(PREFIX)

# The Debian package is built as Debian builds one: with the compiler and
# linker flags that dpkg-buildflags gives, hardening all included, in a tree
# of its own; the programs are stripped and their debug information goes into
# the -dbgsym package (cmake/DebugSymbols.cmake). lintian must find nothing
# to report, no error and no warning.
deb_flags = $$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get $(1))
deb:
	sh scripts/deps.sh deb
	cmake -S . -B $(BUILD)/deb -G Ninja -DCMAKE_BUILD_TYPE=None -DZEFA_TESTS=OFF \
	  "-DCMAKE_C_FLAGS=$(call deb_flags,CFLAGS) $(call deb_flags,CPPFLAGS)" \
	  "-DCMAKE_CXX_FLAGS=$(call deb_flags,CXXFLAGS) $(call deb_flags,CPPFLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$(call deb_flags,LDFLAGS)"
	cmake --build $(BUILD)/deb -j $(JOBS)
	rm -f $(BUILD)/package/zefa-update_*.deb $(BUILD)/package/zefa-update-dbgsym_*.deb
	cd $(BUILD)/deb && cpack -G DEB -B $(CURDIR)/$(BUILD)/package
	rm -rf $(BUILD)/package/_CPack_Packages
	lintian --fail-on error,warning $(BUILD)/package/zefa-update_*.deb $(BUILD)/package/zefa-update-dbgsym_*.deb

package: deb
	sh scripts/deps.sh package
	cmake -S . -B $(BUILD)/win32-medium -G Ninja -DCMAKE_BUILD_TYPE=$(WINDOWS_BUILD_TYPE) -DZEFA_TESTS=OFF \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake
	cmake --build $(BUILD)/win32-medium -j $(JOBS) --target orbane tavrix
	python3 tests/medium/check_program.py --objdump i686-w64-mingw32-objdump --table docs/windows-imports.md \
	  --max-size 24576 $(BUILD)/win32-medium/launcher/Orbane.exe
	python3 tests/medium/check_program.py --objdump i686-w64-mingw32-objdump --table docs/windows-imports.md \
	  --max-size 98304 $(BUILD)/win32-medium/updater/Tavrix.bin
	rm -rf $(BUILD)/package/medium && mkdir -p $(BUILD)/package/medium
	cp $(BUILD)/win32-medium/launcher/Orbane.exe $(BUILD)/win32-medium/updater/Tavrix.bin $(BUILD)/package/medium/
	sed 's/$$/\r/' packaging/medium-programs.txt >$(BUILD)/package/medium/README.txt
	cd $(BUILD)/package/medium && cmake -E tar cf ../zefa-update-2.0.0-medium-i686.zip --format=zip \
	  Orbane.exe Tavrix.bin README.txt
	rm -rf $(BUILD)/package/medium
	@ls -l $(BUILD)/package

clean:
	rm -rf $(BUILD)
