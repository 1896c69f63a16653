// The reflex game behind every hack: four turning reels of digits, stopped
// one after another, left to right, each on the target digit.
#pragma once

// Plays one game at a difficulty of 10..95; 1 when all four reels lock on
// the target, 0 when the misses use up the attempts, -1 when the player
// presses ESC. Changes nothing in the profile.
int hack_minigame(int difficulty);
// The difficulty a hack on a target of this difficulty is played at: eased
// by a third of the hack skill, kept within 10..95.
int minigame_difficulty(int target_difficulty);
// Colour of a target by its difficulty against the hack skill: red well
// above it, yellow above it, green otherwise.
int difficulty_colour(int target_difficulty);
