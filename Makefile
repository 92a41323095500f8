# inkpost-client: the two everyday commands are `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
XVFB = xvfb-run -a -s "-screen 0 1920x1080x24"
# make install PREFIX=... (DESTDIR=... stages it elsewhere)
PREFIX ?= /usr/local

.PHONY: all deps configure build run test bench install package clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

configure: $(BUILD)/build.ninja

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

test: build
	cd $(BUILD) && $(XVFB) ctest --output-on-failure -j 1

bench: build
	@bash scripts/bench.sh $(BUILD)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, in $(BUILD)/: inkpost-client_<version>_<arch>.deb
package: build
	cd $(BUILD) && cpack

clean:
	rm -rf $(BUILD)
