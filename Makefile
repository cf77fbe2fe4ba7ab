# beatshow: `make run` builds and plays the show, `make test` builds and runs every test.
# Both install missing Debian packages first (scripts/install-deps).

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
SHOW_DIR := build/show
# CI builds with warnings as errors (the ci preset); both presets build in build/.
PRESET ?= $(if $(CI),ci,default)

.PHONY: all deps build show run test test-default test-asan test-tsan test-windows test-windows-if-possible windows \
	release test-release test-show-sanitizers soak bench golden fuzz format clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake --preset $(PRESET) >/dev/null
	@cmake --build --preset $(PRESET) -j $(JOBS)

show: build
	@cmake --build --preset $(PRESET) --target show -j $(JOBS)

run: show
	@if [ -f $(SHOW_DIR)/epicrealtimetest.xml ]; then cd $(SHOW_DIR) && ../beatshow; \
	else echo "make run: there is no show at $(SHOW_DIR) yet (build/beatshow --help lists what the program can do)"; fi

test: test-default test-asan test-tsan test-windows-if-possible

test-default: build
	@ctest --preset $(PRESET) -j $(JOBS)

# The CPU suites under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

# The CPU suites that start threads, under ThreadSanitizer.
test-tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@ctest --preset tsan -j $(JOBS)

# The Windows program (build-windows/beatshow.exe), cross-compiled with mingw-w64; its libraries
# are built from Debian's source packages once per machine (scripts/build-windows-deps).
windows: deps
	@scripts/build-windows-deps >/dev/null
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows -j $(JOBS)

# The Windows program under Wine: its own tests of the Windows code, then the program on the
# default show beside the Linux one's frames (the Linux build's tests labelled `windows`). The
# program crashed under Wine in about one capture in thirty until a thread's log stream was no
# longer destroyed at its end (engine/base/Log.h); until that is known to be the whole story, a test
# that fails is run once more, and its first failure stays in the output.
test-windows: show windows
	@cmake --build --preset $(PRESET) --target wine_program_tests -j $(JOBS)
	@ctest --preset windows -j $(JOBS)
	@ctest --test-dir build -L '^windows$$' -j $(JOBS) --output-on-failure --repeat until-pass:2

# `make test` tests the Windows program where mingw-w64 and Wine are installed (scripts/install-deps
# installs both) and says so where they are not.
test-windows-if-possible:
	@if command -v x86_64-w64-mingw32-g++-posix >/dev/null && \
	   { command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ]; }; then \
	  $(MAKE) --no-print-directory test-windows; \
	else \
	  echo "make test: mingw-w64 or Wine is missing, so the Windows program was not tested (scripts/install-deps installs both)"; \
	fi

# A show packed for a party (scripts/make-release): dist/NAME-linux-x86_64.tar.gz and
# dist/NAME-windows-x64.zip, NAME from the show's folder; RELEASE_VIDEO=1 adds dist/NAME-1080p.mp4.
SHOW ?= $(SHOW_DIR)
release: show windows
	@RELEASE_VIDEO=$(RELEASE_VIDEO) RELEASE_VIDEO_UNTIL=$(RELEASE_VIDEO_UNTIL) scripts/make-release $(SHOW)

# The default show's release where it will run: the Linux archive in a minimal Debian 12 made by
# debootstrap (once per machine; needs root and Debian's registry), the Windows archive under
# Wine, each from a folder of its own, with frames equal to the build's. Some minutes; not part
# of `make test`.
test-release: release
	@cmake --build --preset $(PRESET) --target release_tests -j $(JOBS)
	@ctest --test-dir build -L '^release$$' --output-on-failure

# The performance table (bench/): each figure beside its reference, as Markdown here and as JSON
# in build/bench.json; a few minutes on two cores. BENCH_LARGE: path points and events of the
# generated scene whose load is timed. BENCH_BASELINE: another build folder (its beatshow,
# bench/renderer_bench and show/) measured in turns with this one, in a column of its own.
# BENCH_WHOLE_CAPTURE=1: the whole show captured at 1280 x 720 too (a quarter of an hour more).
BENCH_LARGE ?= 100000
BENCH_BASELINE ?=
BENCH_WHOLE_CAPTURE ?=
bench: show
	@cmake --build --preset $(PRESET) --target bench_report -j $(JOBS)
	@build/bench/bench_report --large $(BENCH_LARGE) $(if $(BENCH_BASELINE),--baseline $(BENCH_BASELINE)) \
	  $(if $(BENCH_WHOLE_CAPTURE),--whole-capture 1)

# Renders the default show's golden frames again into tests/show/golden/ (with the name of the
# renderer that made them). Only after a change that is meant to change the picture.
golden: show
	@cmake --build --preset $(PRESET) --target golden_frames_tests -j $(JOBS)
	@BEATSHOW_UPDATE_GOLDEN=1 SDL_VIDEODRIVER=offscreen build/tests/show/golden_frames_tests

# The whole default show offline under ASan+UBSan (leaks on), then under TSan with the loader
# thread pausing at random points; some minutes each on two cores, so not part of `make test`:
# `make soak` runs it after its own play.
test-show-sanitizers: deps
	@JOBS=$(JOBS) tests/sanitizers/show-under-sanitizers.sh

# The default show windowed under Xvfb in real time, starting over at its end, for SOAK_MINUTES;
# resident memory every 10 s and every frame's time land in build/soak/. Then the whole show
# under the sanitizers, which CI has no time for.
SOAK_MINUTES ?= 10
soak: show
	@SOAK_MINUTES=$(SOAK_MINUTES) tests/soak/soak.sh build/beatshow $(SHOW_DIR) build/soak
	@JOBS=$(JOBS) tests/sanitizers/show-under-sanitizers.sh

# The readers under libFuzzer (clang, AddressSanitizer, UndefinedBehaviorSanitizer), each for
# FUZZ_SECONDS; crashers land in tests/fuzz/crashers/, which `make test` replays.
FUZZ_SECONDS ?= 300
fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@FUZZ_SECONDS=$(FUZZ_SECONDS) tests/fuzz/run-fuzzers

format:
	@git ls-files '*.cpp' '*.h' | xargs -r clang-format -i

clean:
	@rm -rf build build-asan build-tsan build-fuzz build-windows dist
