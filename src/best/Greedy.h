#pragma once

#include "engine/Window.h"

#include <cstdint>
#include <vector>

namespace vestor {
class Catalogue;
}

namespace vestor::best {

// The pick's set for these inputs, as record numbers in slot order: the
// pick's own operations run in the pick's order over a copy of the inputs,
// so the window is left as it was. The catalogue must stand on the race and
// level of the inputs. Throws Error as the pick does.
std::vector<std::int64_t> greedyRecords(Catalogue &catalogue, const Window &inputs);

} // namespace vestor::best
