// voxdump --collection: every song of every tune under the paths given,
// each played as a player plays it for as long as its length needs, on
// several threads; a list of the songs' lengths in the format collection
// players read, and a table of songs.
#pragma once

struct RunSettings;

// Runs the collection; the exit status.
int runCollection(const RunSettings& settings);
