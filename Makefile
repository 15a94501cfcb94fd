# The two commands of the README: `make run` builds and plays the show, `make test` installs what
# is missing, builds with warnings as errors and runs the whole test suite.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all build run test clean deps windows windows-package

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

# The Windows programs, cross-built with MinGW-w64 (README: "Windows"); the zip to hand out.
windows:
	scripts/build-windows

windows-package:
	scripts/build-windows --package

clean:
	rm -rf $(BUILD_DIR)
