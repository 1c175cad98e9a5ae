#include "transfer/PresetArchive.h"

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "transfer/PresetManager.h"

#include <boost/archive/archive_exception.hpp>
#include <boost/archive/xml_iarchive.hpp>
#include <boost/archive/xml_oarchive.hpp>
#include <boost/serialization/collection_size_type.hpp>
#include <boost/serialization/item_version_type.hpp>
#include <boost/serialization/nvp.hpp>
#include <boost/serialization/split_free.hpp>
#include <boost/serialization/string.hpp>

#include <cmath>
#include <sstream>
#include <type_traits>

namespace {

const char* const loadSource = "PresetManager::load()";

// Upper bound for any list count while reading: a list cannot have more items
// than the text has bytes. Set for the duration of one read.
std::size_t itemLimit = 0;

// When the reader checks an end tag it indexes the expected name at the length
// of the name in the file, and compares that many characters. With a longer
// name in the file that reads past a plain string literal, so every element
// name lives in a zero-filled buffer, and end tags with longer names are
// turned away before the reader sees them.
constexpr std::size_t nameCapacity = 64;
struct ElementName {
    char text[nameCapacity];
};
const ElementName firstName{"first"};
const ElementName secondName{"second"};
const ElementName countName{"count"};
const ElementName itemVersionName{"item_version"};
const ElementName itemName{"item"};
const ElementName rName{"r"};
const ElementName gName{"g"};
const ElementName bName{"b"};
const ElementName colorName{"color"};
const ElementName alphaName{"alpha"};
const ElementName presetName{"preset"};

void checkEndTagNames(const std::string& text)
{
    for (std::size_t at = text.find("</"); at != std::string::npos; at = text.find("</", at + 2)) {
        const std::size_t end = text.find_first_of(" \t\r\n>", at + 2);
        const std::size_t length = (end == std::string::npos ? text.size() : end) - (at + 2);
        if (length >= nameCapacity) {
            TOOL_THROW(loadSource, "an end tag name is " + std::to_string(length) + " characters long");
        }
    }
}

// The library reads objects of any class version. All of ours are version 0;
// another version would be a layout this program does not know.
void checkClassVersion(unsigned int version)
{
    if (version != 0) {
        TOOL_THROW(loadSource, "class version " + std::to_string(version) + " is newer than this program reads");
    }
}

} // namespace

// Pairs, deques and the map, written exactly as the library's own support for
// them writes them. Reading differs: the library sizes a deque from its count
// before reading a single item, so a hostile count is a huge allocation; here
// the count is checked and the items are read one by one.
namespace boost {
namespace serialization {

template <class Archive, class First, class Second>
void serialize(Archive& ar, std::pair<First, Second>& pair, const unsigned int)
{
    ar& make_nvp(firstName.text, const_cast<typename std::remove_const<First>::type&>(pair.first));
    ar& make_nvp(secondName.text, pair.second);
}

template <class Archive, class Container> void saveCollection(Archive& ar, const Container& list)
{
    const collection_size_type count(list.size());
    ar << make_nvp(countName.text, count);
    const item_version_type itemVersion(0);
    ar << make_nvp(itemVersionName.text, itemVersion);
    for (const auto& item : list) {
        ar << make_nvp(itemName.text, item);
    }
}

template <class Archive, class Container> void loadCollection(Archive& ar, Container& list)
{
    collection_size_type count;
    ar >> make_nvp(countName.text, count);
    if (static_cast<std::size_t>(count) > itemLimit) {
        TOOL_THROW(loadSource,
                   "list count " + std::to_string(static_cast<std::size_t>(count)) + " exceeds the size of the file");
    }
    if (library_version_type(3) < ar.get_library_version()) {
        item_version_type itemVersion(0);
        ar >> make_nvp(itemVersionName.text, itemVersion);
    }
    list.clear();
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        std::pair<typename std::remove_const<typename Container::value_type::first_type>::type,
                  typename Container::value_type::second_type>
            item;
        ar >> make_nvp(itemName.text, item);
        list.insert(list.end(), std::move(item));
    }
}

template <class Archive, class T> void save(Archive& ar, const std::deque<T>& list, const unsigned int)
{
    saveCollection(ar, list);
}

template <class Archive, class T> void load(Archive& ar, std::deque<T>& list, const unsigned int version)
{
    checkClassVersion(version);
    loadCollection(ar, list);
}

template <class Archive, class T> void serialize(Archive& ar, std::deque<T>& list, const unsigned int version)
{
    split_free(ar, list, version);
}

template <class Archive, class Value>
void save(Archive& ar, const std::map<std::string, Value>& map, const unsigned int)
{
    saveCollection(ar, map);
}

template <class Archive, class Value>
void load(Archive& ar, std::map<std::string, Value>& map, const unsigned int version)
{
    checkClassVersion(version);
    loadCollection(ar, map);
}

template <class Archive, class Value>
void serialize(Archive& ar, std::map<std::string, Value>& map, const unsigned int version)
{
    split_free(ar, map, version);
}

} // namespace serialization
} // namespace boost

template <class Archive> void serialize(Archive& ar, ColorRGB& color, const unsigned int version)
{
    checkClassVersion(version);
    ar& boost::serialization::make_nvp(rName.text, color.r);
    ar& boost::serialization::make_nvp(gName.text, color.g);
    ar& boost::serialization::make_nvp(bName.text, color.b);
}

template <class Archive> void serialize(Archive& ar, Transferfunction& function, const unsigned int version)
{
    checkClassVersion(version);
    ar& boost::serialization::make_nvp(colorName.text, function.color);
    ar& boost::serialization::make_nvp(alphaName.text, function.alpha);
}

template <class Archive> void serialize(Archive& ar, PresetManager& store, const unsigned int version)
{
    checkClassVersion(version);
    ar& boost::serialization::make_nvp(presetName.text, store.preset);
}

namespace {

// Non-finite values become the nearest end of 0..1, NaN becomes 0. Returns
// how many were replaced.
unsigned makeFinite(float& value)
{
    if (std::isfinite(value)) {
        return 0;
    }
    value = value > 0.0f ? 1.0f : 0.0f;
    return 1;
}

unsigned makeFinite(Transferfunction& function)
{
    unsigned replaced = 0;
    for (auto& point : function.color) {
        replaced += makeFinite(point.first);
    }
    for (auto& point : function.alpha) {
        replaced += makeFinite(point.first) + makeFinite(point.second);
    }
    return replaced;
}

} // namespace

std::string PresetArchive::write(const Presets& presets)
{
    PresetManager store;
    store.preset = presets;
    for (auto& entry : store.preset) {
        const unsigned replaced = makeFinite(entry.second);
        if (replaced > 0) {
            Tool::log("PresetManager::save()", "Wrote " + std::to_string(replaced) +
                                                   " non-finite value(s) of preset \"" + entry.first + "\" as 0 or 1");
        }
    }

    std::ostringstream out;
    try {
        boost::archive::xml_oarchive archive(out);
        const PresetManager* self = &store;
        archive << boost::serialization::make_nvp("this", self);
    } catch (const std::exception& error) {
        TOOL_THROW("PresetManager::save()", std::string("cannot write the archive: ") + error.what());
    }
    if (!out) {
        TOOL_THROW("PresetManager::save()", "cannot write the archive");
    }
    return out.str();
}

PresetArchive::Presets PresetArchive::read(const std::string& text)
{
    struct LimitScope {
        explicit LimitScope(std::size_t limit) { itemLimit = limit; }
        ~LimitScope() { itemLimit = 0; }
    } limitScope(text.size());

    checkEndTagNames(text);
    PresetManager store;
    std::istringstream in(text);
    try {
        boost::archive::xml_iarchive archive(in);
        // The reader accepts any version; a newer format may mean other things.
        if (archive.get_library_version() > boost::archive::BOOST_ARCHIVE_VERSION()) {
            TOOL_THROW(loadSource, "archive version " + std::to_string(archive.get_library_version()) +
                                       " is newer than this program reads");
        }
        archive >> boost::serialization::make_nvp("*this", store);
        // The archive's destructor checks the root's closing tag and, when it
        // is missing, throws out of the destructor, which ends the process.
        // All data has been read by now, so that check is switched off.
        in.setstate(std::ios::failbit);
    } catch (const Tool::Exception&) {
        throw;
    } catch (const boost::archive::archive_exception& error) {
        // The library appends errno to a stream error, left over from some
        // unrelated call: the text was read from memory.
        if (error.code == boost::archive::archive_exception::input_stream_error) {
            TOOL_THROW(loadSource, "the text ends early or holds a malformed value");
        }
        TOOL_THROW(loadSource, error.what());
    } catch (const std::exception& error) {
        TOOL_THROW(loadSource, error.what());
    }
    return std::move(store.preset);
}
