#pragma once

#include "control/OscMessage.h"
#include "core/OutputConfig.h"
#include "core/Result.h"
#include "core/Surface.h"

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace prismeta {

// The arguments of one edit once checked: up to four numbers, already
// narrowed and clamped as the inspector does, or a text.
struct FieldValue {
    std::array<double, 4> numbers{};
    std::size_t count = 0;
    std::string text;
};

// One field of a record that remote control reads and writes, at the path
// below the record's target ("opacity", "corner/2", "blend/left"). parse()
// checks the arguments (type tags, count, finite numbers, ranges); write()
// stores the value into one record, or says why that record cannot take it;
// read() gives the current value as the arguments a query answers with.
//
// Adding a field to the address space is one entry in the table of its
// record (see OscFields.cpp) and one section in docs/osc.md.
template <typename Record> struct OscField {
    std::string_view path;
    std::string_view typeTags; // what it takes, as a person reads it: "ffff or fff"
    Result<FieldValue> (*parse)(const OscMessage& message);
    Status (*write)(Record& record, const FieldValue& value);
    OscArguments (*read)(const Record& record);
};

std::span<const OscField<Surface>> surfaceFields();
std::span<const OscField<OutputConfig>> outputFields();

} // namespace prismeta
