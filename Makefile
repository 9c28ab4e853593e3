# The two commands a newcomer needs: `make demo` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps build test demo bench clean

deps:
	@bash scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	@bash scripts/demo $(BUILD)

bench: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	@bash scripts/run-benchmarks $(BUILD)

clean:
	rm -rf $(BUILD)
