# The front door: `make` builds, `make test` installs what is missing and runs every
# test, `make run` builds and starts the program, `make package` makes the .deb.

BUILD ?= build
DEB_BUILD ?= build-deb
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
ARGS ?=

# Debian 12 packages the build and the tests need.
PACKAGES = g++ cmake ninja-build pkg-config libsqlite3-dev libgtest-dev qt6-base-dev libxcb1-dev \
    librsvg2-bin dpkg-dev file fonts-dejavu-core fonts-wine fonts-liberation fonts-noto-color-emoji strace \
    xvfb xdotool dbus-daemon libglib2.0-bin

.PHONY: all build test run deps clean format package

all: build

build:
	@test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null \
	    | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    if [ "$$(id -u)" = 0 ]; then \
	        echo "Installing: $$missing"; \
	        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	    else \
	        echo "Missing packages. Install them with:"; \
	        echo "  sudo apt-get install $$missing"; \
	        exit 1; \
	    fi; \
	fi

test: deps build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

run: deps build
	$(BUILD)/quorvel $(ARGS)

# The Debian package, from a release build of its own for /usr: $(DEB_BUILD)/quorvel_*.deb.
package: deps
	@test -f $(DEB_BUILD)/build.ninja || cmake -S . -B $(DEB_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_INSTALL_PREFIX=/usr -DQVL_BUILD_TESTS=OFF -DQVL_BUILD_BENCH=OFF \
	    -DQVL_LINK_WHOLE_CLI=OFF
	cmake --build $(DEB_BUILD) -j $(JOBS)
	cd $(DEB_BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(DEB_BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')
