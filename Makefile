# The two commands in the README do everything on a fresh Debian 12 machine.
BUILD      ?= build
ASAN_BUILD ?= build-asan
DEB_BUILD  ?= build-deb
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all deps build demo check test asan bench fuzz install uninstall format clean deb

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: deps $(BUILD)/build.ninja
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	@./scripts/demo.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

asan: deps
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

check: test asan

# The corpus is made once per build folder; --corpus DIR measures another folder laid out the same way.
# Then the on-screen latency of a start and of the next picture, on a screen of its own.
CORPUS ?= $(BUILD)/bench-corpus
bench: build
	@[ -f $(CORPUS)/list20k/file19999.doc ] || $(BUILD)/bin/vantrel-bench --make-corpus $(CORPUS)
	@status=0; $(BUILD)/bin/vantrel-bench --corpus $(CORPUS) || status=1; \
	 ./bench/latency.sh $(BUILD)/bin $(BUILD)/latency-corpus || status=1; exit $$status

# Each fuzzer runs FUZZ_SECONDS (default 600); findings land in build-fuzz/findings/.
fuzz: deps
	@./tests/fuzz/run-fuzzers.sh $(CURDIR)/build-fuzz

# The Debian package, built for /usr in a folder of its own, then unpacked and checked (layout,
# desktop entry, metainfo, lintian).
deb: deps
	@cmake -S . -B $(DEB_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
	    -DVANTREL_TESTS=OFF >/dev/null
	@cmake --build $(DEB_BUILD) -j $(JOBS)
	@rm -rf $(DEB_BUILD)/package && cd $(DEB_BUILD) && cpack -G DEB >/dev/null
	@./packaging/check-deb.sh $(DEB_BUILD)/package/*.deb

install: build
	@cmake --install $(BUILD)

uninstall:
	@if [ -f $(BUILD)/install_manifest.txt ]; then xargs -r rm -fv < $(BUILD)/install_manifest.txt; \
	 else echo "Nothing recorded: run 'make install' first."; fi

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(DEB_BUILD) build-fuzz
