# Front door: `make run` builds and starts the window, `make test` builds and runs the suite.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build run test test-sanitize demo fuzz format clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-window.sh $(BUILD)/app/kestrel-configure

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && ctest --output-on-failure -j $(JOBS)

# The window beside simulated modules, all inside a private network namespace.
demo: build
	@scripts/demo.sh $(BUILD)

# Longer fuzzing run of the receive path: make fuzz FUZZ_SECONDS=600
FUZZ_SECONDS ?= 300
fuzz: deps
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DKESTREL_FUZZ=ON -DKESTREL_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target fuzz_receive
	mkdir -p $(BUILD)-fuzz/corpus
	$(BUILD)-fuzz/fuzz/fuzz_receive -max_total_time=$(FUZZ_SECONDS) $(BUILD)-fuzz/corpus fuzz/seeds

format: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target format

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-fuzz
