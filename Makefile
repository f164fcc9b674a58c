# The commands a newcomer needs. `make test` installs what is missing, builds from
# scratch (build/ and build-san/) and runs every test.
BUILD      ?= build
GENERATOR  ?= Ninja
# Debian 12 packages the project needs to build, test and run (real package names: a
# virtual one never shows as installed).
DEPS := cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev \
        libqt6sql6-sqlite \
        libgtest-dev libgmock-dev libbenchmark-dev \
        xvfb xauth xdotool x11-utils imagemagick fonts-liberation \
        clang libclang-rt-14-dev \
        dpkg-dev desktop-file-utils appstream

.PHONY: deps configure build test run demo screenshot package install uninstall clean

# Runs the package manager only for what is missing.
deps:
	@mk/deps.sh $(DEPS)

configure: deps
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DORVEL_BENCH=OFF \
	    -DORVEL_UNIT_TESTS=OFF

build: configure
	cmake --build $(BUILD)

# build/ holds the programs as shipped: the tests that drive them from outside run there
# (the window under Xvfb, the production-line script, the package). Then every test under
# AddressSanitizer and UBSan in build-san/, and each fuzz target of that build for 15 s.
test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
	$(MAKE) --no-print-directory test-sanitize
	$(MAKE) --no-print-directory fuzz-ci

run: build
	./$(BUILD)/orvel-programator

# COM 1 wired to the simulated device; closing the window stops it.
# SIM_OPTIONS=--fast removes the line pacing.
demo: build
	tools/demo.sh $(BUILD) $(SIM_OPTIONS)

# The picture in the README: the demo under Xvfb, connected, objects 1 to 20 read.
screenshot: build
	tools/screenshot.sh $(BUILD) docs/window.png

# The Debian package, in $(BUILD)/: sudo apt install ./$(BUILD)/orvel-programator_*.deb
package: build
	cd $(BUILD) && cpack -G DEB

# What a user needs without a package: make install PREFIX=$$HOME/.local. make uninstall
# with the same PREFIX removes exactly what that put there.
PREFIX ?= /usr/local
install: build
	mk/install.sh install $(BUILD) $(PREFIX)

uninstall:
	mk/install.sh uninstall $(BUILD) $(PREFIX)

clean:
	rm -rf $(BUILD)

include mk/bench.mk
include mk/reliability.mk
