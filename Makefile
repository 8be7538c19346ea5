# Two entry points: `make run` builds and starts the interpreter, `make test` builds and runs
# every test in a normal build and again under AddressSanitizer + UndefinedBehaviorSanitizer,
# then the transcripts once more in a build that collects before every evaluation step.
JOBS ?= 2
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: run test setup build build-asan build-stress bench fuzz install clean

# Line editing needs libedit's headers, its test needs tmux, and the start-up code layout needs
# lld. As root on Debian they are installed here when missing; otherwise the build goes on
# without line editing (the terminal test is skipped) or with the default layout.
PACKAGES = libedit-dev tmux lld
setup:
	@if [ -f /usr/include/editline/readline.h ] && command -v tmux >/dev/null && \
	    command -v ld.lld >/dev/null; then :; \
	elif [ "$$(id -u)" = 0 ] && command -v apt-get >/dev/null; then \
	  echo "Installing $(PACKAGES) (line editing, its test, code layout)"; \
	  export DEBIAN_FRONTEND=noninteractive; \
	  apt-get install -y -q $(PACKAGES) >/dev/null 2>&1 || \
	  { apt-get update -q >/dev/null 2>&1 && apt-get install -y -q $(PACKAGES) >/dev/null 2>&1; } || \
	  echo "Could not install $(PACKAGES): no line editing or terminal test, default layout"; \
	else \
	  echo "Missing $(PACKAGES) (Debian: apt-get install $(PACKAGES)):" \
	       "no line editing or terminal test, default layout"; \
	fi

# The release build is optimised by a profile of the benchmark programs, run by an instrumented
# build of the same sources (build-train); a compiler without the needed options builds it plainly.
PROFILE = $(CURDIR)/build-train/profile
# Measured but never trained on: what the optimiser never saw shows what a user's program gets.
UNTRAINED = bench/wordcount.lisp
build: setup
	cmake -S . -B build-train -DCMAKE_BUILD_TYPE=Release -DZELKORA_PROFILE=generate \
	  -DZELKORA_PROFILE_DIR=$(PROFILE) >/dev/null
	cmake --build build-train -j $(JOBS) --target zelkora
	@if [ ! -f $(PROFILE)/done ] || [ build-train/zelkora -nt $(PROFILE)/done ]; then \
	  echo "Running bench/*.lisp for the optimiser's profile"; rm -rf $(PROFILE); \
	  for p in $(filter-out $(UNTRAINED),$(wildcard bench/*.lisp)); do \
	    build-train/zelkora < $$p >/dev/null || exit 1; done; \
	  mkdir -p $(PROFILE) && touch $(PROFILE)/done; fi
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZELKORA_WERROR=ON -DZELKORA_PROFILE=use \
	  -DZELKORA_PROFILE_DIR=$(PROFILE)
	cmake --build build -j $(JOBS)

build-asan: setup
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZELKORA_SANITIZE=ON -DZELKORA_WERROR=ON
	cmake --build build-asan -j $(JOBS)

build-stress: setup
	cmake -S . -B build-stress -DCMAKE_BUILD_TYPE=Release -DZELKORA_GC_STRESS=ON -DZELKORA_WERROR=ON
	cmake --build build-stress -j $(JOBS) --target zelkora

run: build
	./build/zelkora

test: build build-asan build-stress
	cd build && ctest --output-on-failure -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)
	cd build-stress && ctest --output-on-failure -j $(JOBS)

bench: build
	python3 bench/run.py build/zelkora

# The twins' differential generator on new seeds for FUZZ_SECONDS (any build: FUZZ_BUILD=build-asan,
# or build-stress with ZELKORA_STRESS=1 in the environment).
FUZZ_SECONDS ?= 600
FUZZ_BUILD ?= build
fuzz: $(FUZZ_BUILD)
	python3 tests/scripts/twins.py $(FUZZ_BUILD)/zelkora --seconds $(FUZZ_SECONDS)

install: build
	install -D -m 755 build/zelkora $(DESTDIR)$(PREFIX)/bin/zelkora
	install -D -m 644 doc/zelkora.1 $(DESTDIR)$(PREFIX)/share/man/man1/zelkora.1
	install -D -m 644 library/cl.lisp $(DESTDIR)$(PREFIX)/share/zelkora/cl.lisp

clean:
	rm -rf build build-train build-asan build-stress
