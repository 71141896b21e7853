# make test  - install what is missing, build both architectures, run every test under Wine
# make dist  - lay out the sample distribution folders build/dist (i686) and build/dist64 (x86_64);
#              signs build/dist/setup.exe when VEMLA_SIGN_* name an RSA certificate, with a
#              time stamp from VEMLA_SIGN_TIMESTAMP or, when it is none, without one (README)
# make run   - start the wizard under Wine: build/dist's where 32-bit programs run, else build/dist64's
BUILD ?= build
ROOT := $(abspath $(BUILD))
JOBS ?= 2
CTEST_FLAGS ?=

.PHONY: all bootstrap build dist test run clean
all: build

bootstrap:
	@tools/bootstrap

build: bootstrap
	cmake -S . -B $(ROOT)/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake -DVEMLA_BUILD_ROOT=$(ROOT) >/dev/null
	cmake --build $(ROOT)/win32 -j$(JOBS)
	cmake -S . -B $(ROOT)/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64.cmake -DVEMLA_TESTS=ON -DVEMLA_BUILD_ROOT=$(ROOT) >/dev/null
	cmake --build $(ROOT)/win64 -j$(JOBS)

dist: build
	tools/make-dist $(ROOT)/win32 $(ROOT)/dist
	@tools/sign-release $(ROOT)/dist/setup.exe
	tools/make-dist $(ROOT)/win64 $(ROOT)/dist64

test: dist
	tools/check-layers
	tools/check-product $(ROOT)/win32/setup.exe
	tools/check-reproducible $(ROOT)/win32/setup.exe
	tools/check-signing $(ROOT)/dist/setup.exe
	tools/winerun --root $(ROOT) --session ctest --test-dir $(ROOT)/win64 --output-on-failure $(CTEST_FLAGS)
	tools/check-prefix-reset $(ROOT)

run: dist
	tools/walkthrough $(ROOT)

clean:
	rm -rf $(ROOT)
