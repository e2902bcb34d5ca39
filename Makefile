# Thin wrapper over the CMake presets: `make run` and `make test` are the two commands a new user needs.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
# CI builds with warnings as errors.
WERROR := $(if $(CI),ON,OFF)

.PHONY: all setup build run demo test test-asan test-tsan bench install uninstall clean

all: build

setup:
	@scripts/setup-deps.sh

define configure
	@if [ ! -f $(2)/build.ninja ] || [ "$$(grep -s '^VLM_WERROR:' $(2)/CMakeCache.txt | cut -d= -f2)" != "$(WERROR)" ]; then \
	  cmake --preset $(1) -DVLM_WERROR=$(WERROR) >/dev/null; fi
endef

build: setup
	$(call configure,dev,build)
	cmake --build build -j $(JOBS)

run: build
	./build/velmora

# The whole app on one machine: the demo service plays the public service on a free port of
# 127.0.0.1 and stops when the program ends. Its output (the sign-in codes it "e-mails") stays on
# the terminal.
demo: build
	@set -euo pipefail; \
	exec 3< <(exec ./build/velmora-demo-service --port 0); svc=$$!; \
	trap 'kill $$svc 2>/dev/null || true' EXIT INT TERM; \
	read -r base <&3 || { echo "demo: the demo service did not start" >&2; exit 1; }; \
	cat <&3 & \
	echo "demo: service at $$base (process $$svc; kill it to try the offline mode)"; \
	VLM_API_BASE="$$base" ./build/velmora $(DEMO_ARGS)

test: build
	ctest --test-dir build --output-on-failure -j $(JOBS)

test-asan: setup
	$(call configure,asan,build-asan)
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS)

test-tsan: setup
	$(call configure,tsan,build-tsan)
	cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j $(JOBS)

bench: build
	VLM_BENCH_DEPS=1 scripts/setup-deps.sh
	bench/http_bench.sh

install: build
	cmake --install build --prefix "$(or $(PREFIX),$(HOME)/.local)"

uninstall:
	cmake -DVLM_INSTALL_MANIFEST=build/install_manifest.txt -P cmake/install.cmake

clean:
	rm -rf build build-asan build-tsan build-release
