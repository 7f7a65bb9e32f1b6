# make demo: builds the programs and runs a sample update in the terminal.
# make test: installs what is missing, builds with the sanitizers, runs every
# test and the fuzzers briefly. make bench: a Release build that measures the
# file transfer against its peers (not part of make test).
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all demo test unit fuzz bench deps clean

all: test

test: unit fuzz

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

bench:
	sh scripts/deps.sh bench
	cmake -S . -B $(BUILD)/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEFA_TESTS=OFF -DZEFA_BENCH=ON
	cmake --build $(BUILD)/bench -j $(JOBS)
	$(BUILD)/bench/bench/transfer_bench $(BUILD)/bench/work

clean:
	rm -rf $(BUILD)
