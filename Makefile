# Tolvenar: `make run` builds and opens the window, `make test` builds and runs every test.
# Both install the Debian packages the build needs first (scripts/install-deps.sh).

.PHONY: all deps build run test test-sanitize screenshot bench fuzz install clean

all: build

deps:
	@scripts/install-deps.sh

# The development build keeps line tables only (-g1): backtraces and profiles by line, in a
# quarter less time; -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g -DNDEBUG" gives a debugger's locals.
build: deps
	@cmake --preset dev >/dev/null
	@cmake --build --preset dev

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	    echo "make run: no display available (DISPLAY and WAYLAND_DISPLAY are unset); the window needs a desktop session."; \
	    exit 1; \
	fi
	@build/src/ui/tolvenar

test: build
	@ctest --preset dev

# The whole suite once more under AddressSanitizer and UndefinedBehaviorSanitizer, but the
# coverage table (thousands of bootstraps through code the other tests run too: minutes there).
test-sanitize: deps
	@cmake --preset dev-asan >/dev/null
	@cmake --build --preset dev-asan
	@ctest --preset dev-asan

# Renders the pictures of docs/ offscreen: the window at start-up, a crop, two searches, a
# bootstrap and the window maximised.
screenshot: build
	@QT_QPA_PLATFORM=offscreen build/src/ui/tolvenar --screenshot docs/window.png
	@QT_QPA_PLATFORM=offscreen build/src/ui/tolvenar-screenshots examples docs

bench: deps
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	@for b in build-bench/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

fuzz:
	@scripts/install-deps.sh clang libclang-rt-14-dev
	@cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DTOLVENAR_BUILD_FUZZ=ON -DTOLVENAR_BUILD_UI=OFF -DTOLVENAR_BUILD_TESTS=OFF >/dev/null
	@cmake --build build-fuzz --target fuzz_data_reader
	@mkdir -p build-fuzz/corpus
	@echo "run: build-fuzz/tests/fuzz/fuzz_data_reader -dict=tests/fuzz/data_reader.dict -max_len=1024 build-fuzz/corpus tests/fuzz/corpus"

# Stripped binaries, man pages, completion, desktop entry and licence under PREFIX (DESTDIR is
# honoured for staging a package).
PREFIX ?= /usr/local
install: build
	@cmake --install build --prefix "$(PREFIX)" --strip

clean:
	@rm -rf build build-asan build-bench build-fuzz
