# Drelk II. `make run` and `make test` each do the whole set-up on a fresh Debian machine:
# install the missing packages, configure, build (the data file included), then run or test.

BUILD        ?= build
SANBUILD     ?= build-san
JOBS         ?= $(shell nproc)
FUZZ_SECONDS ?= 600
FUZZ_TARGETS ?=
PREFIX       ?= /usr/local
CMAKE_FLAGS  ?=

# A build folder builds its tests once `make test` or `make bench` has asked for them there;
# `make run` and `make install` on a fresh one build only what is shipped.
FIRST_TESTING = $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DBUILD_TESTING=OFF)
# A new build folder builds with Ninja, which starts the next compile sooner than make's
# recursion: a tenth off a first build. A folder made before keeps the generator it has.
GENERATOR     = $(if $(wildcard $(1)/CMakeCache.txt),,-G Ninja)
# Optimised as the package is, without debug information, which would cost a fifth of a first
# build (CMAKE_FLAGS=-DCMAKE_BUILD_TYPE=RelWithDebInfo for a build to debug).
CONFIGURE     = cmake -S . -B $(BUILD) $(call GENERATOR,$(BUILD)) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
                -DCMAKE_INSTALL_PREFIX=$(PREFIX)

.PHONY: all deps deps-test build build-tests run test san portable fuzz bench install package clean

all: build

# The packages for building (debian/control's Build-Depends), and for testing besides.
deps:
	@tools/install-deps.sh build
deps-test:
	@tools/install-deps.sh test

build: deps
	$(CONFIGURE) $(FIRST_TESTING) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

build-tests: deps-test
	$(CONFIGURE) -DBUILD_TESTING=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

# Only what the game needs: the game and its data file (the tools and pages come with `build`).
run: deps
	$(CONFIGURE) $(FIRST_TESTING) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS) --target drelk_playable
	$(BUILD)/drelk2

# The unit tests run twice: in the main build, and built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, where the fuzz targets also replay their seed corpora.
test: build-tests san
	tools/with-display.sh ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	tools/with-display.sh ctest --test-dir $(SANBUILD) --output-on-failure -j$(JOBS)

# The sanitizer build takes the main build's data file and generated art.
san: build-tests
	cmake -S . -B $(SANBUILD) $(call GENERATOR,$(SANBUILD)) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
	  -DDRELK_SANITIZE=ON -DDRELK_FUZZ=ON -DDRELK_DATA_FILE=$(abspath $(BUILD))/Drelk_II.bin \
	  -DDRELK_GEN_DIR=$(abspath $(BUILD))/gen
	cmake --build $(SANBUILD) -j$(JOBS)

# The replays played by the rules built every way the game is built for (GCC and Clang, -O0 to
# -O3, x86-64-v3, a distribution's flags, i386, aarch64 under qemu-user): each must verify them
# all. CI runs it after the tests.
portable: build
	tools/check-portable.sh $(BUILD)

# Runs each fuzz target (or those of FUZZ_TARGETS) for FUZZ_SECONDS on a working corpus seeded
# from tests/fuzz/corpus.
fuzz: san
	tests/fuzz/run-fuzzers.sh $(SANBUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The Google Benchmarks, the game window measured under a private Xvfb (WINDOW_SECONDS a case), then
# the world table's service on SQLite and PostgreSQL.
WINDOW_SECONDS ?= 30
bench: build-tests
	tools/run-benchmarks.sh $(BUILD)
	tools/measure-window.py $(BUILD) $(WINDOW_SECONDS)
	tools/bench-scores.py $(BUILD)

install: build
	cmake --install $(BUILD)

# The Debian packages (the game, and the data tools), built by dpkg-buildpackage from a copy of
# the sources, in $(BUILD)/package/.
package: deps
	tools/build-package.sh $(BUILD)/package

clean:
	rm -rf $(BUILD) $(SANBUILD)
