# The two everyday commands: `make run` and `make test`. Both install what is
# missing, configure and build in build/, then start the program or run every test.
BUILD ?= build
GENERATOR ?= Ninja
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
JOBS ?= $(shell nproc)

.PHONY: all setup configure build run test install clean format-check

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

clean:
	rm -rf $(BUILD)

# Tells every place where the sources differ from .clang-format; changes
# nothing. Format only the lines you change (git clang-format), never the tree.
FORMAT_SOURCES = $(shell find . -path ./$(BUILD) -prune -o -path ./.git -prune -o \
	-type f \( -name '*.cpp' -o -name '*.h' \) -print | sort)

format-check: setup
	clang-format --dry-run -Werror $(FORMAT_SOURCES)
