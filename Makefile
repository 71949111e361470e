# The two commands for a fresh Debian 12 machine: `make run` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
WIN_BUILD  ?= build-windows
WIN_QT_BUILD ?= build-windows-qt
DEB_BUILD  ?= build-deb
WERROR     ?= OFF
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all deps deb-deps configure build run test test-core test-asan test-windows windows bench \
	fuzz deb test-package format clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DQUORVEL_WERROR=$(WERROR) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

# Every test of the full build, the Qt-free tests again under the sanitizers, then the Windows
# build's tests under Wine.
test: build test-asan test-windows
	@bash scripts/test.sh $(BUILD)

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_CORE_ONLY=ON \
		-DQUORVEL_SANITIZE=ON -DQUORVEL_WERROR=$(WERROR) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# Quorvel.exe with Qt for Windows (built from Debian's source once per machine into a cache by
# scripts/build-qt-windows.sh), the help file and the template, packed by NSIS into
# $(WIN_BUILD)/quorvel-<version>-setup.exe.
windows: deps
	@qt="$$(bash scripts/build-qt-windows.sh)" && qt="$$(echo "$$qt" | tail -n 1)" && \
	cmake -S . -B $(WIN_QT_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_TOOLCHAIN_FILE="$$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
		-DQT_CHAINLOAD_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-mingw64.cmake \
		-DQUORVEL_SETUP_DIR=$(abspath $(WIN_BUILD)) -DQUORVEL_WERROR=$(WERROR) >/dev/null
	@cmake --build $(WIN_QT_BUILD) -j $(JOBS)

# The Qt-free libraries and the Windows platform pieces built with mingw-w64, tested under Wine;
# then the installer and the installed windows under Wine.
test-windows: deps windows
	@cmake -S . -B $(WIN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O1 \
		-DQUORVEL_CORE_ONLY=ON \
		-DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DQUORVEL_WERROR=$(WERROR) >/dev/null
	@cmake --build $(WIN_BUILD) -j $(JOBS)
	@# Every Wine program under one display: a Wine session begun without one has no desktop for
	@# the later window tests, and its first program can hang. A test that fails once runs again.
	@cd $(WIN_BUILD) && xvfb-run -a -s "-screen 0 1024x768x24" \
		ctest --output-on-failure -j $(JOBS) --repeat until-pass:2
	@cd $(WIN_QT_BUILD) && ctest --output-on-failure

bench: deps
	@cmake -S . -B $(BENCH_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_BENCH=ON \
		-DQUORVEL_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@bash scripts/bench.sh $(BENCH_BUILD)

fuzz: deps
	@CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DQUORVEL_CORE_ONLY=ON -DQUORVEL_BUILD_FUZZ=ON -DQUORVEL_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@bash scripts/fuzz.sh $(FUZZ_BUILD)

# The Debian package quorvel_<version>_amd64.deb in $(DEB_BUILD)/, checked by lintian.
deb: deb-deps
	@bash scripts/build-deb.sh $(DEB_BUILD) $(JOBS)

# Installs the package into a clean Debian 12 root, runs a batch there, purges it (needs root).
test-package: deb
	@bash scripts/test-package.sh $(DEB_BUILD)

deb-deps:
	@bash scripts/install-deps.sh --package

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(DEB_BUILD) $(WIN_QT_BUILD)
