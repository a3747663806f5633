#pragma once

#include <QString>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace prismeta {

// The reason a warning shows, made from the description the log line carries
// (which stays exactly as it is): the lists' 0-based positions written as
// people count them, with the element's name where it is known.
// "surfaces[1].mediaKind: ..." reads "surface 2 ("Wall") mediaKind: ...",
// and "outputs[0]" reads "output 1 ("Left")".
//
// `name` answers the name of element `index` of `list` ("surfaces",
// "outputs"), or none. Interface thread only.
using ListedName =
    std::function<std::optional<std::string>(std::string_view list, std::size_t index)>;
QString describeForPeople(const std::string& reason, const ListedName& name);

} // namespace prismeta
