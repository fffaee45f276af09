# Two commands do everything: `make run` and `make check` (see README.md).
BUILD ?= build
JOBS ?= 2
PREFIX ?= /usr/local
CMAKE_FLAGS ?=

.PHONY: all deps configure build check check-sanitize bench run install clean

all: build

deps:
	@scripts/deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j$(JOBS)

check: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The test suite once more, built with AddressSanitizer and UndefinedBehaviorSanitizer (-O1 keeps
# the build and the run short). Leak reports are off: the toolkit keeps its singletons to the end.
check-sanitize: deps
	cmake -S . -B $(BUILD)-sanitize -G Ninja -DTALLYRA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
	    -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" $(CMAKE_FLAGS)
	cmake --build $(BUILD)-sanitize -j$(JOBS)
	cd $(BUILD)-sanitize && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
	    UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j$(JOBS) -E source_format

bench: deps
	cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTALLYRA_BENCH=ON
	cmake --build $(BUILD)-bench -j$(JOBS)
	cd $(BUILD)-bench && for b in bin/bench_*; do echo "== $$b"; QT_QPA_PLATFORM=offscreen ./$$b || exit 1; done

run: build
	@[ -f demo/TLR2.DBF ] || $(BUILD)/bin/tallyra-init demo --demo
	cd demo && $(abspath $(BUILD))/bin/tallyra

# Installs the programs, help pages, desktop entry and icon under PREFIX (DESTDIR for staging).
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-sanitize
