# Top-level entry points. `make demo` plays a sample; `make test` runs every test.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
NATIVE := build/native
NATIVE32 := build/native32
WIN32 := build/win32
WIN64 := build/win64
FUZZ := build/fuzz
FUZZ_SECONDS ?= 20
SHARED := $(firstword $(wildcard ../shared ../../shared))
GEN := -G Ninja
# The i686 Windows test programs are built only where 32-bit programs run
# (and so Wine can run them); elsewhere the i686 build is the product alone.
RUN32 := $(shell /lib/ld-linux.so.2 --version >/dev/null 2>&1 && echo ON || echo OFF)

.PHONY: deps build build-native build-native32 build-win32 build-win64 build-fuzz test test-native test-native32 test-win test-install dist fuzz demo bench clean

deps:
	bash scripts/install-deps.sh

build: deps build-native build-native32 build-win32 build-win64

build-native:
	cmake -S . -B $(NATIVE) $(GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(NATIVE) -j $(JOBS)

# The portable core for 32-bit x86 Linux: the product's architecture, run
# natively or under qemu-i386 (scripts/run32.sh).
build-native32:
	cmake -S . -B $(NATIVE32) $(GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i686.cmake >/dev/null
	cmake --build $(NATIVE32) -j $(JOBS)

build-win32:
	cmake -S . -B $(WIN32) $(GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DBRAMBLE_TESTS=$(RUN32) >/dev/null
	cmake --build $(WIN32) -j $(JOBS)

build-win64:
	cmake -S . -B $(WIN64) $(GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	cmake --build $(WIN64) -j $(JOBS)

build-fuzz:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRAMBLE_FUZZ=ON >/dev/null
	cmake --build $(FUZZ) -j $(JOBS)

test-native: build-native
	cd $(NATIVE) && ctest --output-on-failure -j $(JOBS)

# The 32-bit core's unit tests, and its PCM against the native build's.
test-native32: build-native build-native32
	cd $(NATIVE32) && ctest --output-on-failure -j $(JOBS)

test-win: build-win32 build-win64
	bash scripts/check-exports.sh $(WIN32)/bin
	bash scripts/wine-tests.sh $(WIN64) $(WIN32)

# The release's installer in a fresh Wine prefix: install, upgrade, play,
# version resources, uninstall.
test-install: dist build-native build-win64
	bash tests/win/install/install_test.sh dist $(WIN32) $(WIN64) $(NATIVE)/bin $(SHARED)/conformance

# The release: dist/ holds the zip, the installer and SHA256SUMS.
dist: deps build-win32
	bash scripts/dist.sh $(WIN32) dist

# The fuzz build has ASan and UBSan: its unit tests double as the sanitizer run.
fuzz: build-fuzz
	cd $(FUZZ) && ctest --output-on-failure -j $(JOBS)
	bash scripts/fuzz.sh $(FUZZ) $(FUZZ_SECONDS)

test: deps test-native test-native32 test-win test-install fuzz

demo: deps build-native build-win64
	bash scripts/demo.sh
	bash scripts/demo-player.sh

bench: deps build-native build-native32 build-win64
	bash scripts/bench.sh

clean:
	rm -rf build
