#pragma once
// What the desktop calls the game's windows. All of them carry the game's title in task
// switchers and window lists; each has an X window role of its own, by which scripts tell them
// apart.

namespace WindowNames {
inline constexpr char TITLE[] = "Drelk II";
inline constexpr char ROLE_STARTUP[] = "drelk2-startup";
inline constexpr char ROLE_GAME[] = "drelk2-game";
inline constexpr char ROLE_ENDING[] = "drelk2-ending";
inline constexpr char ROLE_SCORES[] = "drelk2-scores";
inline constexpr char ROLE_CONTROLS[] = "drelk2-controls";
inline constexpr char ROLE_OPTIONS[] = "drelk2-options";
}  // namespace WindowNames
