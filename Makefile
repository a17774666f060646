# The two set-up commands: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || sysctl -n hw.ncpu 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# CI builds with warnings as errors (WERROR=ON).
WERROR ?= OFF
CMAKE_FLAGS += -DLANTHORN_WERROR=$(WERROR)
UNAME := $(shell uname -s)
# On macOS, Homebrew's prefix holds its Qt, libplist and Google Benchmark.
ifeq ($(UNAME),Darwin)
BREW_PREFIX := $(shell brew --prefix 2>/dev/null)
CMAKE_FLAGS += $(if $(BREW_PREFIX),-DCMAKE_PREFIX_PATH=$(BREW_PREFIX))
endif

.PHONY: all deps configure build run test bench clean package install screenshots interop libcxx darwin-configure portability lint

all: build

deps:
	@./scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@./scripts/run.sh $(BUILD_DIR)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	@./scripts/bench.sh $(BUILD_DIR)

install: build
	@cmake --install $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)

# Applies each fault of tests/faults/faults.txt in turn, builds, runs every test and reports
# which faults the suite catches (in $(BUILD_DIR)/faults-report.txt); about a minute a fault.
faults: build
	@./scripts/faults.sh . $(BUILD_DIR)
.PHONY: faults

# The whole suite under AddressSanitizer, LeakSanitizer (Linux) and UBSan (preset "asan", in
# build-asan/).
asan: deps
	@JOBS=$(JOBS) ./scripts/asan.sh
.PHONY: asan

ifeq ($(UNAME),Darwin)
# The developer checks below need Linux (Xvfb, Linux file managers, Debian's packages and roots).
screenshots interop package fuzz libcxx darwin-configure portability lint:
	@echo "make $@: Linux only; nothing to do on macOS."
.PHONY: fuzz
else
# The README's screenshots, from the real window under Xvfb against the demo devices.
screenshots: build
	@./scripts/screenshots.sh $(BUILD_DIR) docs/screenshots

# Clipboard, drag and drop and trash against real Nautilus, PCManFM-Qt and Dolphin, under Xvfb.
# Installs those file managers for this check only (INTEROP_MANAGERS picks fewer).
interop: build
	@./scripts/interop.sh $(BUILD_DIR) $(BUILD_DIR)/interop

# A Debian package (CPack) in the build folder.
package: build
	@cd $(BUILD_DIR) && cpack -G DEB

# Fuzz every decoder for FUZZ_SECONDS each (default 180), or FUZZ_RUNS inputs; crashes land in
# tests/fuzz/crashes/. libFuzzer comes with clang, which only this target needs.
fuzz:
	@LANTHORN_EXTRA_PACKAGES="clang-14 $(LANTHORN_EXTRA_PACKAGES)" ./scripts/install-deps.sh
	@JOBS=$(JOBS) ./scripts/fuzz.sh
.PHONY: fuzz

# Every source compiled (syntax only) with clang against libc++, the C++ library Apple ships, and
# once more as on macOS (the Darwin branches, against cmake/darwin-check/include); then the
# configure as on macOS (darwin-configure).
libcxx: build
	@LANTHORN_EXTRA_PACKAGES="clang-14 libc++-14-dev libc++abi-14-dev python3 python3-yaml $(LANTHORN_EXTRA_PACKAGES)" ./scripts/install-deps.sh
	@JOBS=$(JOBS) ./scripts/libcxx-check.sh $(BUILD_DIR)
	@./scripts/darwin-configure-check.sh $(BUILD_DIR)

# Every C++ file against .clang-format; clang-tidy (.clang-tidy) on the sources the last commit
# changed (LINT_BASE=<commit> compares with another), warnings as errors.
lint: build
	@LANTHORN_EXTRA_PACKAGES="clang-format clang-tidy $(LANTHORN_EXTRA_PACKAGES)" ./scripts/install-deps.sh
	@JOBS=$(JOBS) ./scripts/lint.sh $(BUILD_DIR)

# CMake configures and generates the project as on a Mac (cmake/darwin-check/toolchain.cmake),
# and the bundle, Info.plist, RPATH, Homebrew line and workflow are checked.
darwin-configure:
	@LANTHORN_EXTRA_PACKAGES="clang-14 python3 python3-yaml $(LANTHORN_EXTRA_PACKAGES)" ./scripts/install-deps.sh
	@./scripts/darwin-configure-check.sh $(BUILD_DIR)

# `make test` inside a Debian 13 root made with debootstrap (newer Qt, libplist and GCC). Root only.
portability:
	@JOBS=$(JOBS) ./scripts/portability.sh
endif
