# Velqor: the two commands a newcomer needs are `make run` and `make test`.
# Every target installs the Debian packages it needs first (scripts/deps.sh).

JOBS        ?= $(shell nproc)
DEBUG_DIR   := build/debug
RELEASE_DIR := build/release
TSAN_DIR    := build/tsan
FUZZ_DIR    := build/fuzz
PACKAGE_DIR := build/package
FUZZ_SECONDS ?= 60
# Seconds a test may run before ctest stops it and counts it failed; tests registered with
# velqor_add_test carry their own time-out.
TEST_TIMEOUT ?= 600

# The tests and benchmarks run offscreen; `make run` gets the platform the user chose, if any.
USER_QT_QPA_PLATFORM := $(if $(filter environment command line,$(origin QT_QPA_PLATFORM)),$(QT_QPA_PLATFORM))
export QT_QPA_PLATFORM ?= offscreen
# Qt and fontconfig keep caches for the life of the process; those are not our leaks.
export LSAN_OPTIONS ?= suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS ?= suppressions=$(CURDIR)/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1

.PHONY: all deps test test-tsan run bench fuzz clean package

all: test

deps:
	@scripts/deps.sh

# Debug build with AddressSanitizer and UndefinedBehaviorSanitizer, then every test.
test: deps
	cmake -S . -B $(DEBUG_DIR) -DCMAKE_BUILD_TYPE=Debug -DVELQOR_SANITIZE=address,undefined
	cmake --build $(DEBUG_DIR) -j $(JOBS)
	cd $(DEBUG_DIR) && ctest --output-on-failure --timeout $(TEST_TIMEOUT) -j $(JOBS)
	@$(MAKE) --no-print-directory package
	scripts/check_package.sh $(PACKAGE_DIR)/velqor_*.deb

# The Debian package, $(PACKAGE_DIR)/velqor_<version>_<arch>.deb: a Release build of velqor and
# velqor-cli with Debian's hardening flags, packed by CPack (dependencies from dpkg-shlibdeps).
DEB_BUILDFLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g dpkg-buildflags --get
package: deps
	cmake -S . -B $(PACKAGE_DIR) -DCMAKE_BUILD_TYPE=Release -DVELQOR_BUILD_TESTS=OFF \
	  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_BUILDFLAGS) CPPFLAGS) $$($(DEB_BUILDFLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_BUILDFLAGS) LDFLAGS)"
	cmake --build $(PACKAGE_DIR) -j $(JOBS) --target velqor_package_files
	rm -f $(PACKAGE_DIR)/velqor_*.deb
	cd $(PACKAGE_DIR) && cpack -G DEB

# The threaded tests again, under ThreadSanitizer.
test-tsan: deps
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DVELQOR_SANITIZE=thread
	cmake --build $(TSAN_DIR) -j $(JOBS)
	cd $(TSAN_DIR) && ctest --output-on-failure --timeout $(TEST_TIMEOUT) -j $(JOBS) -L threads

# The program (Release build) in the scratch folder run/, so that its settings file and logs
# stay out of the checkout: against the adapter when one is plugged in, else against the
# simulated one (scripts/run.sh). Options for velqor: make run ARGS="--sim-flood 5000,200".
ARGS ?=
run: deps
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target velqor
	@QT_QPA_PLATFORM='$(USER_QT_QPA_PLATFORM)' scripts/run.sh $(RELEASE_DIR)/app/velqor $(ARGS)

# Benchmarks (Release build).
bench: deps
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DVELQOR_BUILD_BENCH=ON
	cmake --build $(RELEASE_DIR) -j $(JOBS)
	@for b in $(RELEASE_DIR)/bench/bench_*; do \
	  if [ -f "$$b" ] && [ -x "$$b" ]; then echo "== $$b"; "$$b" || exit 1; fi; \
	done

# libFuzzer harnesses, each run for FUZZ_SECONDS (clang from Debian). Not part of `make test`.
fuzz: deps
	@scripts/deps.sh clang libclang-rt-14-dev
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVELQOR_FUZZ=ON -DVELQOR_BUILD_TESTS=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz_all
	@for f in $(FUZZ_DIR)/fuzz/fuzz_*; do \
	  [ -f "$$f" ] && [ -x "$$f" ] || continue; name=$$(basename $$f); \
	  mkdir -p fuzz-corpus/$$name; \
	  echo "== $$name for $(FUZZ_SECONDS) s"; \
	  "$$f" -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 fuzz-corpus/$$name fuzz/seeds/$$name || exit 1; \
	done

clean:
	rm -rf build
