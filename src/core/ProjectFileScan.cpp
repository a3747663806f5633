#include "core/ProjectFileScan.h"

#include "core/FileIO.h"

#include <nlohmann/json.hpp>

#include <vector>

namespace prismeta {

namespace {

using nlohmann::json;

// Follows the document's nesting as the parser reports it and keeps the one
// string wanted; stops the parse once it has it, or is past it.
class NameFinder final : public nlohmann::json_sax<json> {
public:
    NameFinder(std::string_view list, std::size_t index) : list_(list), index_(index) {}

    std::optional<std::string> found;

    bool null() override { return value(); }
    bool boolean(bool) override { return value(); }
    bool number_integer(number_integer_t) override { return value(); }
    bool number_unsigned(number_unsigned_t) override { return value(); }
    bool number_float(number_float_t, const string_t&) override { return value(); }
    bool binary(binary_t&) override { return value(); }

    bool string(string_t& text) override {
        if (atWantedName()) {
            found = std::move(text);
            return false; // done
        }
        return value();
    }

    bool start_object(std::size_t) override { return open(false); }
    bool start_array(std::size_t) override { return open(true); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }

    bool key(string_t& key) override {
        frames_.back().key = key;
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    struct Frame {
        bool array = false;
        std::size_t next = 0;        // arrays: the index of the next element
        std::size_t indexInList = 0; // this container's index in its array
        std::string key;             // objects: the key of the value now read
    };

    // Element `index_` of the wanted list is an object, now reading "name".
    bool atWantedName() const {
        return frames_.size() == 3 && !frames_[0].array && frames_[0].key == list_ &&
               frames_[1].array && !frames_[2].array && frames_[2].indexInList == index_ &&
               frames_[2].key == "name";
    }

    bool inWantedList() const {
        return frames_.size() == 2 && !frames_[0].array && frames_[0].key == list_ &&
               frames_[1].array;
    }

    // A value begins: it takes the next index of an array around it. Once
    // the wanted list has gone past the element, there is nothing to find.
    bool value() {
        if (!frames_.empty() && frames_.back().array) {
            if (inWantedList() && frames_.back().next > index_) {
                return false;
            }
            ++frames_.back().next;
        }
        return true;
    }

    bool open(bool array) {
        std::size_t indexInList = 0;
        if (!frames_.empty() && frames_.back().array) {
            indexInList = frames_.back().next;
        }
        if (!value()) {
            return false;
        }
        Frame frame;
        frame.array = array;
        frame.indexInList = indexInList;
        frames_.push_back(std::move(frame));
        return true;
    }

    bool close() {
        frames_.pop_back();
        return true;
    }

    std::string_view list_;
    std::size_t index_;
    std::vector<Frame> frames_;
};

} // namespace

std::optional<std::string> listedNameInProjectBytes(std::string_view bytes, std::string_view list,
                                                    std::size_t index) {
    NameFinder finder(list, index);
    try {
        json::sax_parse(bytes.begin(), bytes.end(), &finder);
    } catch (const std::exception&) {
        // Whatever the parser could not take: no name.
    }
    return std::move(finder.found);
}

std::optional<std::string> listedNameInProjectFile(const std::filesystem::path& file,
                                                   std::string_view list, std::size_t index,
                                                   std::size_t maxBytes) {
    const Result<std::string> bytes = readRegularFile(file, maxBytes);
    if (!bytes) {
        return std::nullopt;
    }
    return listedNameInProjectBytes(bytes.value(), list, index);
}

} // namespace prismeta
