# The two commands of the README: `make run` builds and plays the show, `make test` installs what
# is missing, builds with warnings as errors and runs the whole test suite.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

# `make fuzz`: every fuzz target for FUZZ_SECONDS each (CI gives them 30).
FUZZ_SECONDS ?= 600

.PHONY: all build run test clean deps fuzz

all: build

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/korvana $(ARGS)

deps:
	scripts/install-deps

test:
	scripts/test

fuzz: build
	BUILD_DIR=$(BUILD_DIR) scripts/ci-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD_DIR)
