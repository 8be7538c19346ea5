# Two entry points: `make run` builds and starts the interpreter, `make test` builds and runs
# every test in a normal build and again under AddressSanitizer + UndefinedBehaviorSanitizer,
# then the transcripts once more in a build that collects before every evaluation step.
JOBS ?= 2

.PHONY: run test build build-asan build-stress bench clean

build:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZELKORA_WERROR=ON
	cmake --build build -j $(JOBS)

build-asan:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZELKORA_SANITIZE=ON -DZELKORA_WERROR=ON
	cmake --build build-asan -j $(JOBS)

build-stress:
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

clean:
	rm -rf build build-asan build-stress
