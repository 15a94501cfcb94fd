# The two commands of the README: `make run` installs what is missing, builds and plays the show
# (or renders it to build/korvana.mp4 where there is no display), `make test` installs what is
# missing, builds with warnings as errors and runs the whole test suite. `make contact-sheet`
# draws docs/contact-sheet.jpg again with the program. Each target installs the Debian packages of
# its own purpose (scripts/install-deps): `make run` only what building and playing need.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

# `make fuzz`: every fuzz target for FUZZ_SECONDS each (CI gives them 30).
FUZZ_SECONDS ?= 600

.PHONY: all build run test clean deps fuzz contact-sheet windows windows-package package web web-serve

all: build

# `make deps PURPOSES="run windows"`: the packages of those purposes (default: all CI needs).
PURPOSES ?= test

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

run:
	BUILD_DIR=$(BUILD_DIR) JOBS=$(JOBS) scripts/run $(ARGS)

contact-sheet:
	BUILD_DIR=$(BUILD_DIR) JOBS=$(JOBS) scripts/contact-sheet

deps:
	scripts/install-deps $(PURPOSES)

test:
	scripts/test

# The Windows programs, cross-built with MinGW-w64 (README: "Windows"); the zip to hand out.
windows:
	scripts/build-windows

windows-package:
	scripts/build-windows --package

# The static site that plays the show in a browser (README: "In a web browser"), and a local server
# for it on 127.0.0.1.
web:
	scripts/install-deps web
	BUILD_DIR=$(BUILD_DIR) JOBS=$(JOBS) scripts/build-web

web-serve:
	scripts/web-serve

# The seeds come from the normal build's archive tool and content.
fuzz:
	scripts/install-deps fuzz
	[ -f $(BUILD_DIR)/CMakeCache.txt ] || \
	  cmake -S . -B $(BUILD_DIR) -DKORVANA_BUILD_TESTS=OFF -DKORVANA_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target korvana-rar korvana_content
	BUILD_DIR=$(BUILD_DIR) scripts/ci-fuzz $(FUZZ_SECONDS)

# build/korvana_<version>_amd64.deb (scripts/build-deb: its own build folder, prefix /usr).
package:
	BUILD_DIR=$(BUILD_DIR) JOBS=$(JOBS) scripts/build-deb

clean:
	rm -rf $(BUILD_DIR)
