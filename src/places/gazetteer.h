#pragma once

#include "places/places.h"

#include <vector>

// One place of the system's gazetteer in the language of the process, with
// its names as written in English where they differ (empty where they don't).
struct gazetteer_entry {
    place where;
    QString english_name;
    QString english_region;
    QString english_country;
};

// Every place the gazetteer holds; empty when it cannot be read.
std::vector<gazetteer_entry> read_gazetteer();
