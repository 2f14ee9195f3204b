# Drelk II. `make run` and `make test` each do the whole set-up on a fresh Debian machine:
# install the missing packages, configure, build (the data file included), then run or test.

BUILD        ?= build
SANBUILD     ?= build-san
JOBS         ?= $(shell nproc)
FUZZ_SECONDS ?= 600
FUZZ_TARGETS ?=
PREFIX       ?= /usr/local
CMAKE_FLAGS  ?=

.PHONY: all deps build run test test-main test-san san fuzz bench install package clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/drelk2

# The unit tests run twice: in the main build, and built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, where the fuzz targets also replay their seed corpora.
test: build san
	tools/with-display.sh ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	tools/with-display.sh ctest --test-dir $(SANBUILD) --output-on-failure -j$(JOBS)

san: build
	cmake -S . -B $(SANBUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
	  -DDRELK_SANITIZE=ON -DDRELK_FUZZ=ON -DDRELK_DATA_FILE=$(abspath $(BUILD))/Drelk_II.bin \
	  -DDRELK_SPLASH_PICTURE=$(abspath $(BUILD))/gen/pictures/splash.png
	cmake --build $(SANBUILD) -j$(JOBS)

# Runs each fuzz target (or those of FUZZ_TARGETS) for FUZZ_SECONDS on a working corpus seeded
# from tests/fuzz/corpus.
fuzz: san
	tests/fuzz/run-fuzzers.sh $(SANBUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The Google Benchmarks, then the game window measured under a private Xvfb (WINDOW_SECONDS a case).
WINDOW_SECONDS ?= 30
bench: build
	tools/run-benchmarks.sh $(BUILD)
	tools/measure-window.py $(BUILD) $(WINDOW_SECONDS)

install: build
	cmake --install $(BUILD)

# A Debian package of the game, its tools and data file, desktop entry and icon, in $(BUILD)/.
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(SANBUILD)
