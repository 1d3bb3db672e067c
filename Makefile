# Top-level commands. `make demo` and `make test` are the two the README promises.
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 20
CMAKE_GEN := -G Ninja

.PHONY: all deps build demo test asan-test tsan-test thread-safety format-check fuzz fuzz-smoke bench clean package package-test

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build build -j $(JOBS)

demo: build
	scripts/demo.sh build

test: build
	cd build && ctest --output-on-failure -j $(JOBS)

# Unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
asan-test: deps
	cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUVO_SANITIZE=address,undefined -DQUVO_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The threaded parts under ThreadSanitizer.
tsan-test: deps
	cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUVO_SANITIZE=thread -DQUVO_BENCH=OFF
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && ctest --output-on-failure -j $(JOBS)

# Everything built with clang's thread-safety analysis as errors: a field read without the
# lock that guards it, or a function called without the lock it requires, fails the build.
thread-safety: deps
	CC=clang CXX=clang++ cmake -S . -B build-tsa $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUVO_THREAD_SAFETY=ON -DQUVO_BENCH=OFF
	cmake --build build-tsa -j $(JOBS)

# Every C/C++ file as .clang-format lays it out (scripts/check-format.sh --fix rewrites them).
format-check: deps
	scripts/check-format.sh

# libFuzzer targets, built with clang; the same build checks the lock annotations, so CI gets
# the thread-safety analysis of every library without a second clang build. Run one with e.g.
#   build-fuzz/fuzz/registry/reg_parser_fuzz -max_total_time=60 fuzz/corpus/reg_parser_fuzz
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUVO_FUZZ=ON -DQUVO_THREAD_SAFETY=ON -DQUVO_TESTS=OFF -DQUVO_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS)

# Every fuzz target for a short while on its saved corpus (CI runs this).
fuzz-smoke: fuzz
	scripts/fuzz-smoke.sh build-fuzz $(FUZZ_SECONDS)

# The Debian package, from the build above (configured for /usr).
package: build
	cd build && cpack -G DEB

# Installs the package on this machine, builds and runs the C++ and Python examples against the
# installed files and the virtual printer, removes the package and checks what is left. As root.
package-test: package
	scripts/package-test.sh build

bench: build
	@for b in build/bench/*/*_bench; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf build build-asan build-tsan build-tsa build-fuzz
