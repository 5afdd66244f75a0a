# The two set-up commands: `make run` and `make test`.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_FUZZ ?= build-fuzz
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

PREFIX     ?= /usr/local

.PHONY: run test deps build install deb test-asan bench fuzz demo screenshot clean

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/app/veltomail

# The program, its desktop entry and its icons below PREFIX; DESTDIR, when
# set, is put in front of every path (for packaging).
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# A Debian package of the same files, with the manual page and metainfo:
# $(BUILD)/deb/veltomail_<version>_<arch>.deb (apt install ./that.deb).
deb: build
	cd $(BUILD) && cpack -G DEB -B deb
	@ls $(BUILD)/deb/*.deb

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# AddressSanitizer + UndefinedBehaviorSanitizer over the whole test suite;
# the web-engine tests turn one check off for Qt's library (tests/CMakeLists.txt).
test-asan: deps
	cmake -S . -B $(BUILD_ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVELTO_SANITIZE=ON
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

bench: build
	@scripts/install-deps.sh --bench
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && QT_QPA_PLATFORM=offscreen "$$b"; done

# libFuzzer targets; FUZZ_SECONDS per target.
FUZZ_SECONDS ?= 60
fuzz:
	@scripts/install-deps.sh --fuzz
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTO_FUZZ=ON
	cmake --build $(BUILD_FUZZ) -j $(JOBS)
	@for f in $(BUILD_FUZZ)/fuzz/fuzz_*; do \
	  [ -f "$$f" ] && [ -x "$$f" ] || continue; n=$$(basename $$f); mkdir -p $(BUILD_FUZZ)/corpus/$$n; \
	  echo "== $$n"; "$$f" -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    $(BUILD_FUZZ)/corpus/$$n fuzz/corpus/$$n || exit 1; done

# A private POP3 server on loopback with sample mail, and VeltoMail set up
# for it in a temporary settings folder; all of it stops with the program.
demo: build
	BUILD=$(BUILD) scripts/demo.sh

# The README's picture: the demo under Xvfb, saved once the list is filled.
screenshot: build
	BUILD=$(BUILD) scripts/screenshot.sh docs/veltomail-demo.png

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_FUZZ)
