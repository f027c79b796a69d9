#include "plugin/chart_preview.h"

// The shared image set arrives with the highway display; until then there is nothing to
// load or free.
void load_asset_set() {}

void release_asset_set() {}
