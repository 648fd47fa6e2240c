# Thin wrapper over the CMake presets; every target installs what it needs first.
FUZZ_SECONDS ?= 30

.PHONY: setup build test test-asan bench fuzz demo install package screenshots clean

setup:
	@bash scripts/setup.sh

build: setup
	cmake --preset default
	cmake --build --preset default

test: build
	ctest --preset default -j2

test-asan: setup
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan -j2

bench: build
	bash bench/run.sh build/default

fuzz: setup
	cmake --preset fuzz
	cmake --build --preset fuzz
	bash fuzz/run.sh build/fuzz $(FUZZ_SECONDS)

DEMO_DIR ?= demo-out

demo: build
	./build/default/apps/reelforge-cli/reelforge-cli demo $(DEMO_DIR)

# PREFIX is where the programs go; DESTDIR (from the environment) stages the tree elsewhere.
PREFIX ?= /usr/local

install: build
	cmake --install build/default --prefix $(PREFIX)

package: build
	cd build/default && cpack -G DEB

# The desktop tests write their window pictures into docs/screenshots/.
screenshots: build
	RF_SCREENSHOTS=1 ctest --preset default -L ui

clean:
	rm -rf build
