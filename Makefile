# The two set-up commands of the README, and a few helpers.
#   make run    build the game and start it in this terminal
#   make test   build everything and run every test
#   make bench  build optimised and run the chat session's flood benchmark and
#               the game's minigame CPU and modem-line benchmarks
#   make fuzz   build the fuzz targets with clang and run each for
#               FUZZ_SECONDS seconds (60 by default)
#   make install PREFIX=/usr/local   build optimised and install
.PHONY: run test chat bench fuzz install deps build clean

FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local

deps:
	@sh tools/install-deps.sh

build: deps
	cmake --preset release
	cmake --build --preset release

run: build
	./build/release/game/sysopsim $(ARGS)

chat: build
	./build/release/chat/ircdoor $(ARGS)

bench: build
	./build/release/bench/irc_flood_bench
	sh bench/minigame_cpu.sh
	./build/release/bench/game_modem_bench

test: deps
	cmake --preset dev
	cmake --build --preset dev
	ctest --preset dev
	cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	sh tools/run-fuzz.sh build/fuzz $(FUZZ_SECONDS)

install: build
	cmake --install build/release --prefix $(PREFIX)

clean:
	rm -rf build
