#pragma once
// The statements both databases run, written once with $N parameters (PostgreSQL's, which SQLite
// binds by name). Only the schema differs between them.

namespace TableSql {

// Rows set aside by a re-verification stay, with the reason, out of every ranking.
constexpr const char* INSERT =
    "INSERT INTO scores (name, score, level, ticks, submitted, rules_version, game_key, replay) "
    "VALUES ($1, $2, $3, $4, $5, $6, $7, $8) RETURNING id";
constexpr const char* RANK =
    "SELECT COUNT(*) + 1 FROM scores WHERE set_aside IS NULL AND (score > $1 OR (score = $1 AND id < $2))";
constexpr const char* HAS_KEY = "SELECT 1 FROM scores WHERE game_key = $1";
constexpr const char* LIST =
    "SELECT id, name, score, level, ticks, submitted FROM scores WHERE set_aside IS NULL "
    "ORDER BY score DESC, id ASC LIMIT $1";
constexpr const char* REPLAY = "SELECT replay FROM scores WHERE id = $1 AND set_aside IS NULL";
constexpr const char* IDS = "SELECT id FROM scores WHERE set_aside IS NULL ORDER BY id";
constexpr const char* ROW = "SELECT id, name, score, level, ticks, submitted FROM scores WHERE id = $1";
constexpr const char* SET_ASIDE = "UPDATE scores SET set_aside = $2 WHERE id = $1";
// The ranking reads this index in order.
constexpr const char* INDEX =
    "CREATE INDEX IF NOT EXISTS scores_ranked ON scores (score DESC, id) WHERE set_aside IS NULL";

}  // namespace TableSql
