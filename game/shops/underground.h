// The underground: hacks on the eight fixed targets, the Dark Market, and
// the way to the other players' boards.
#pragma once

void hacker_underground();
