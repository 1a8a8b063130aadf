# The two set-up commands: `make run` builds and starts the program,
# `make test` builds and passes every test. Both install what is missing.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
CONFIGURE   = cmake -S . -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps run build test test-sanitize test-threads bench screenshot package package-check clean

deps:
	tools/install-deps.sh

build: deps
	$(CONFIGURE) -B $(BUILD)
	cmake --build $(BUILD)

run: build
	$(BUILD)/app/palvimo

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

test-sanitize: deps
	$(CONFIGURE) -B $(ASAN_BUILD) -DPALVIMO_SANITIZE=ON
	cmake --build $(ASAN_BUILD)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

# The tests of the engine and platform, whose probes run on a worker thread,
# under ThreadSanitizer. (The window's tests would mostly check the Qt
# libraries, which are not built for it.)
TSAN_OPTIONS = halt_on_error=1
test-threads: deps
	$(CONFIGURE) -B $(TSAN_BUILD) -DPALVIMO_SANITIZE_THREADS=ON
	cmake --build $(TSAN_BUILD) --target platform_tests engine_tests
	TSAN_OPTIONS=$(TSAN_OPTIONS) $(TSAN_BUILD)/tests/platform/platform_tests
	TSAN_OPTIONS=$(TSAN_OPTIONS) $(TSAN_BUILD)/tests/engine/engine_tests

# `make package` writes the Debian packages $(BUILD)/palvimo_<version>_<arch>.deb
# (the window) and $(BUILD)/palvimo-check_<version>_<arch>.deb (the terminal's
# check); `make package-check` also runs lintian on both, the desktop entry and
# AppStream validators, and checks where their files land.
package: build
	tools/install-deps.sh dpkg-dev file
	rm -f $(BUILD)/palvimo_*.deb $(BUILD)/palvimo-check_*.deb
	cd $(BUILD) && cpack

package-check: package
	tools/install-deps.sh lintian desktop-file-utils appstream
	tools/package-check.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)

bench: build
	bench/run_bench.sh $(BUILD)

screenshot: build
	tools/screenshot.sh $(BUILD)
