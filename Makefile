# Thin wrapper over CMake.  `make run` and `make test` install what is missing,
# build and then start the program or run the whole test suite.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all setup configure build run test bench package clean

all: build

setup:
	@scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/vestra $(ARGS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: setup
	@cmake -S . -B $(BUILD) -DVESTRA_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@scripts/run-benchmarks.sh $(BUILD)

# A Debian package, built apart from the tests' tree with the programs in /usr/bin.
package: setup
	@cmake -S . -B $(BUILD)/package -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESTRA_FHS_LAYOUT=ON -DBUILD_TESTING=OFF >/dev/null
	@cmake --build $(BUILD)/package -j $(JOBS)
	@cd $(BUILD)/package && cpack
	@mv $(BUILD)/package/vestra_*.deb $(BUILD)/

clean:
	rm -rf $(BUILD)
