# The two everyday commands: `make run` and `make test`. Both install what is
# missing, configure and build in build/, then start the program or run every test.
BUILD ?= build
GENERATOR ?= Ninja
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)

.PHONY: all setup configure build run test install package clean format-check fuzz

all: build

setup:
	@scripts/setup.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)

configure: setup $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/quillnook

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package build/quillnook_VERSION-1_ARCH.deb (CPack; the README's
# "Installing" section says what it holds).
package: build
	cmake --build $(BUILD) --target package

# The libFuzzer targets (clang, sanitizers) in their own build folder; the
# README's "Fuzzing" section says how to run them.
FUZZ_BUILD ?= build-fuzz
fuzz: setup
	cmake -S . -B $(FUZZ_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DQN_FUZZ=ON \
	  -DQN_BUILD_TESTS=OFF -DQN_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)

# Tells every place where the sources differ from .clang-format; changes
# nothing. Format only the lines you change (git clang-format), never the tree.
FORMAT_SOURCES = $(shell find . -path './build*' -prune -o -path ./.git -prune -o \
	-type f \( -name '*.cpp' -o -name '*.h' \) -print | sort)

format-check: setup
	clang-format --dry-run -Werror $(FORMAT_SOURCES)
