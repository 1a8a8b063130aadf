# The two set-up commands: `make run` builds and starts the program,
# `make test` builds and passes every test. Both install what is missing.
BUILD      ?= build
ASAN_BUILD ?= build-asan
CONFIGURE   = cmake -S . -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps run build test test-sanitize bench screenshot package package-check clean

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

# `make package` writes the Debian package $(BUILD)/palvimo_<version>_<arch>.deb;
# `make package-check` also runs lintian and the desktop entry and AppStream
# validators on it, and checks where its files land.
package: build
	tools/install-deps.sh dpkg-dev file
	rm -f $(BUILD)/palvimo_*.deb
	cd $(BUILD) && cpack

package-check: package
	tools/install-deps.sh lintian desktop-file-utils appstream
	tools/package-check.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

bench: build
	bench/run_bench.sh $(BUILD)

screenshot: build
	tools/screenshot.sh $(BUILD)
