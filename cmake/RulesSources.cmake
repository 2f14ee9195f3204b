# The game's rules and everything they use, relative to the source root: the library that the
# game, the tools and the replay checker link, built without the scene library, Qt or SDL, so
# that it builds for every machine the game is built for. The main build and the portable
# checks (tests/portable) take the list from here.
set(DRELK_RULES_SOURCES
  base/Assert.cpp base/ExecutablePath.cpp base/Random.cpp base/PortableMath.cpp base/FloatEnvironment.cpp
  databank/RegularFile.cpp
  objects/CollisionBox.cpp objects/Ships.cpp objects/Weapons.cpp objects/Asteroids.cpp
  core/Game.cpp core/RockBoxes.cpp core/Replay.cpp core/RulesData.cpp core/GameRun.cpp core/PlayClock.cpp)

# What keeps the rules' arithmetic the same on every machine, whatever CXXFLAGS a distribution
# or a player passes: nothing fused into a multiply-add, no fast-math, every operation in its own
# type (SSE2, not the x87 unit, on i386). Given after CMAKE_CXX_FLAGS, these win.
set(DRELK_RULES_FLAGS -ffp-contract=off -fno-fast-math)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
  list(APPEND DRELK_RULES_FLAGS -msse2 -mfpmath=sse)
endif()
if(CMAKE_CXX_FLAGS MATCHES "-ffast-math|-Ofast|-ffp-contract=fast|-funsafe-math|-fassociative-math|-mfpmath=387")
  message(STATUS "Drelk II: CXXFLAGS (${CMAKE_CXX_FLAGS}) would change the rules' arithmetic; "
                 "the rules are built with ${DRELK_RULES_FLAGS} after them")
endif()
