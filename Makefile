# Front door: `make run` builds and starts the window, `make test` builds and runs the suite.
# QT=6 builds against Qt 6 instead of Qt 5, in a build directory of its own (build-qt6), so both can stand side by
# side: `make test QT=6`.
QT ?= 5
ifeq ($(QT),5)
BUILD ?= build
else
BUILD ?= build-qt$(QT)
endif
JOBS ?= $(shell nproc)
# Most tests spend their time waiting on sockets, child processes and a program's timeout, not on a core: twice as
# many tests as cores run at once. The sanitizer build, which keeps its cores busy, runs one per core.
TEST_JOBS ?= $(shell echo $$(( 2 * $(JOBS) )))
CMAKE_FLAGS ?=
QT_FLAGS = -DKESTREL_QT=$(QT)
# New build trees use Ninja: a build with nothing to do then takes a fraction of a second, which `make test` and
# the package's install step pay every time. A tree configured before keeps the generator it has.
GENERATOR ?= Ninja
generator = $(if $(wildcard $(1)/CMakeCache.txt),,-G "$(GENERATOR)")

.PHONY: all deps build run test test-portable test-sanitize demo fuzz format clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(call generator,$(BUILD)) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(QT_FLAGS) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-window.sh $(BUILD)/app/kestrel-configure

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(TEST_JOBS)

# The whole suite again with the device port read as on Windows (one datagram at a time through Qt, no drop count),
# so that reader is tested on every change where it is not the default.
test-portable: deps
	cmake -S . -B $(BUILD)-portable $(call generator,$(BUILD)-portable) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DKESTREL_PORTABLE_READER=ON $(QT_FLAGS) $(CMAKE_FLAGS)
	cmake --build $(BUILD)-portable -j $(JOBS)
	cd $(BUILD)-portable && ctest --output-on-failure -j $(TEST_JOBS)

# Speed of the frame cipher, the receive path and bursts of simulated replies, measured in a Release build
# inside a private network namespace. The table, with the machine it ran on, becomes docs/benchmark.md, so that
# page always shows the last run and is never edited by hand.
BENCH_BUILD ?= $(BUILD)-bench
BENCH_DOC ?= docs/benchmark.md
.PHONY: bench
bench: deps
	cmake -S . -B $(BENCH_BUILD) $(call generator,$(BENCH_BUILD)) -DCMAKE_BUILD_TYPE=Release -DKESTREL_BUILD_BENCH=ON $(QT_FLAGS) $(CMAKE_FLAGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target kestrel-bench
	scripts/netns-run.sh $(BENCH_BUILD)/bench/kestrel-bench --output $(CURDIR)/$(BENCH_BUILD)/bench.md
	cmake -S . -B $(BENCH_BUILD)-portable $(call generator,$(BENCH_BUILD)-portable) -DCMAKE_BUILD_TYPE=Release \
	    -DKESTREL_BUILD_BENCH=ON -DKESTREL_PORTABLE_READER=ON $(QT_FLAGS) $(CMAKE_FLAGS)
	cmake --build $(BENCH_BUILD)-portable -j $(JOBS) --target kestrel-bench
	scripts/netns-run.sh $(BENCH_BUILD)-portable/bench/kestrel-bench --bursts 1000,10000 \
	    --output $(CURDIR)/$(BENCH_BUILD)/bench-portable.md
	{ printf '%s\n\n' '# Benchmark' \
	    'The last run of `make bench`, which writes this page: it builds a Release tree and runs `kestrel-bench` inside a private network namespace. Measured: the frame cipher beside OpenSSL, the checksum and the reply decoder, the receive path of the window per datagram with 0, 10,000 and 100,000 modules listed (a new reply, and a repeated one), the start-up of the window, the reader of the device port, bursts of 1,000, 10,000 and 100,000 replies from `kestrel-sim`, and bursts of 10,000 and 100,000 replies from a sender paced at fixed rates, each burst one search (with the rounds it takes) in a fresh process, and `kestrelctl provision --ip-range` commissioning 1,000 factory-fresh simulated modules (search requests, time to the last confirmation, peak memory, how many confirmed). Why the figures are what they are: [reliability](reliability.md).'; \
	  cat $(BENCH_BUILD)/bench.md; \
	  printf '\n%s\n\n' '## The portable reader' \
	    'The same, built with `-DKESTREL_PORTABLE_READER=ON`: the device port read as on Windows, one datagram at a time through Qt, where the system counts no drops and a search asks once. Its cost per reply, and the paced rates at which that one request still lists every module, beside the batch reader'"'"'s above.'; \
	  cat $(BENCH_BUILD)/bench-portable.md; } > $(BENCH_DOC)
	@echo "bench: wrote $(BENCH_DOC)"

# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(BUILD)-asan $(call generator,$(BUILD)-asan) -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON $(QT_FLAGS) $(CMAKE_FLAGS)
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && ctest --output-on-failure -j $(JOBS)

# The window beside simulated modules, all inside a private network namespace. Without a display it runs on
# a virtual one, searches, selects a module and writes $(BUILD)/demo.png.
demo: build
	@scripts/demo.sh $(BUILD)

# The Debian package, $(BUILD)/kestrel-configure_<version>_<architecture>.deb.
.PHONY: package screenshots
package: build
	cmake --build $(BUILD) --target package

# The README's pictures, docs/window-zh.png and docs/window-en.png, from the real window beside three
# simulated modules on a virtual display.
screenshots: build
	@scripts/screenshots.sh $(BUILD)

# Fuzzing: both targets share FUZZ_SECONDS (make fuzz FUZZ_SECONDS=600), or one alone:
# make fuzz FUZZ_TARGETS=fuzz_plainframe. fuzz_receive goes through the receive filter and the cipher;
# fuzz_plainframe checks the same replies without the cipher, whose bytes the fuzzer then steers directly. Each run
# starts from the corpus kept in fuzz/corpus/<target> and the seeds, and ends by merging what it found into that
# corpus, minimised (the fewest inputs that reach every feature seen), so coverage builds up from run to run: commit
# the changed corpus.
# FUZZ_RUNS ends a target's run after that many executions, if its time is not up first (-1: only time ends it).
FUZZ_SECONDS ?= 300
FUZZ_RUNS ?= -1
FUZZ_TARGETS ?= fuzz_receive fuzz_plainframe
FUZZ_NICE ?= 10
fuzz: deps
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz $(call generator,$(BUILD)-fuzz) -DKESTREL_FUZZ=ON -DKESTREL_BUILD_TESTS=OFF $(QT_FLAGS) $(CMAKE_FLAGS)
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	@for target in $(FUZZ_TARGETS); do \
		found=$(BUILD)-fuzz/found/$$target; kept=fuzz/corpus/$$target; merged=$(BUILD)-fuzz/merged/$$target; \
		mkdir -p $$found $$kept; rm -rf $$merged; mkdir -p $$merged; \
		echo "fuzz: $$target for $$(( $(FUZZ_SECONDS) / $(words $(FUZZ_TARGETS)) )) s"; \
		nice -n $(FUZZ_NICE) $(BUILD)-fuzz/fuzz/$$target -max_total_time=$$(( $(FUZZ_SECONDS) / $(words $(FUZZ_TARGETS)) )) \
			-runs=$(FUZZ_RUNS) -print_final_stats=1 $$found $$kept fuzz/seeds || exit 1; \
		nice -n $(FUZZ_NICE) $(BUILD)-fuzz/fuzz/$$target -merge=1 $$merged $$kept $$found 2>&1 | tail -n 1 || exit 1; \
		rm -rf $$kept && mv $$merged $$kept && rm -rf $$found; \
		echo "fuzz: $$target corpus kept in $$kept: $$(ls $$kept | wc -l) inputs, $$(du -sk $$kept | cut -f1) KiB"; \
	done

# Windows: Qt 5.15.8 for x86_64-w64-mingw32 built once from Debian's source package into a cache outside the tree
# (scripts/build-qt-windows.sh), then the three programs, cross-compiled from this tree (cmake/mingw-w64.cmake),
# then $(WIN_BUILD)/kestrel-configure-VERSION-win64.zip and its installer (scripts/package-windows.sh).
# test-windows runs them under wine beside Linux kestrel-sim in a private network namespace.
WIN_BUILD ?= build-win64
.PHONY: windows test-windows
windows:
	@scripts/install-deps.sh --windows
	scripts/build-qt-windows.sh
	cmake -S . -B $(WIN_BUILD) $(call generator,$(WIN_BUILD)) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	    -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(WIN_BUILD) -j $(JOBS)
	scripts/package-windows.sh $(WIN_BUILD)

test-windows: windows build
	scripts/test-windows.sh $(WIN_BUILD) $(BUILD)

format: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target format

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-fuzz $(BUILD)-portable $(WIN_BUILD)
