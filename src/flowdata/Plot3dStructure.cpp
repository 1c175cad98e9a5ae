#include "flowdata/Plot3dStructure.h"

#include "diagnostics/Exception.h"
#include "flowdata/BinaryFile.h"
#include "flowdata/Plot3dAsciiTokens.h"
#include "flowdata/Plot3dValues.h"

#include <cmath>
#include <limits>
#include <memory>

namespace {
const char* const detectSource = "Plot3dReader::detect()";
constexpr uint64_t huge = uint64_t(1) << 62;

// Products that stay far below overflow; anything larger than a file is huge.
uint64_t times(uint64_t a, uint64_t b)
{
    return (a != 0 && b > huge / a) ? huge : a * b;
}

uint64_t plus(uint64_t a, uint64_t b)
{
    return std::min(huge, a + std::min(b, huge));
}

// The integers of a file's first records, in bytes or in values.
class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t total() const = 0;
    // The most values the file's bytes can stand for.
    virtual uint64_t limit() const { return total(); }
    // False, with why, when they cannot be read as integers.
    virtual bool integers(uint64_t position, std::size_t count, bool bigEndian, std::vector<int64_t>& out,
                          std::string& why) = 0;
};

class BinarySource : public Source {
public:
    explicit BinarySource(const BinaryFile& file) : file(file) {}
    uint64_t total() const override { return file.size(); }
    bool integers(uint64_t position, std::size_t count, bool bigEndian, std::vector<int64_t>& out,
                  std::string& why) override
    {
        std::vector<int32_t> raw(count);
        if (file.readAt(raw.data(), count * 4, position) != count * 4) {
            why = "the file cannot be read";
            return false;
        }
        out.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = Plot3dValues::integer(&raw[i], bigEndian);
        }
        return true;
    }

private:
    const BinaryFile& file;
};

class TextSource : public Source {
public:
    TextSource(const BinaryFile& file, const std::string& path) : file(file), tokens(file, path)
    {
        Plot3dAsciiTokens counter(file, path);
        count = counter.countRest();
    }
    uint64_t total() const override { return count; }
    // Repeats let a few bytes claim many values: no record may hold more than
    // plain text of this length could, so a short file never asks for a huge grid.
    uint64_t limit() const override { return 64 * file.size() + 1024; }
    bool integers(uint64_t position, std::size_t wanted, bool, std::vector<int64_t>& out, std::string& why) override
    {
        if (position + wanted > limit()) {
            why = "its sizes need more values than its text can hold";
            return false;
        }
        double value = 0.0;
        while (prefix.size() < position + wanted && tokens.next(value)) {
            prefix.push_back(value);
        }
        out.clear();
        for (uint64_t i = position; i < position + wanted; ++i) {
            if (i >= prefix.size() || prefix[i] != std::floor(prefix[i]) || std::fabs(prefix[i]) > 2147483647.0) {
                why = "value " + std::to_string(i) + " is not an integer";
                return false;
            }
            out.push_back(static_cast<int64_t>(prefix[i]));
        }
        return true;
    }

private:
    const BinaryFile& file;
    Plot3dAsciiTokens tokens;
    std::vector<double> prefix;
    uint64_t count = 0;
};

// Lays one variant over the file, record by record, and says where it
// stops fitting.
class Layout {
public:
    Layout(Source& source, const Plot3dVariant& variant, Plot3dKind kind)
        : source(source), variant(variant), kind(kind), framed(variant.encoding == Plot3dEncoding::Fortran),
          intUnit(variant.encoding == Plot3dEncoding::Ascii ? 1 : 4),
          realUnit(variant.encoding == Plot3dEncoding::Ascii ? 1 : variant.realBytes)
    {
    }

    bool fit(std::vector<Plot3dBlock>& blocks)
    {
        uint64_t start = 0;
        std::vector<int64_t> values;
        int64_t count = 1;
        if (variant.blockCount) {
            if (!record(intUnit, start) || !integers(start, 1, values)) {
                return false;
            }
            count = values[0];
        }
        const int perBlock = variant.dimensions + (kind == Plot3dKind::Function ? 1 : 0);
        if (count < 1 || times(uint64_t(count), perBlock * intUnit) > source.total()) {
            return fail("a block count of " + std::to_string(count));
        }
        if (!record(uint64_t(count) * perBlock * intUnit, start) ||
            !integers(start, std::size_t(count) * perBlock, values)) {
            return false;
        }
        blocks.assign(std::size_t(count), Plot3dBlock());
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            if (!block(&values[b * perBlock], blocks[b], b)) {
                return false;
            }
        }
        if (position != source.total()) {
            return fail(std::to_string(source.total() - position) + " more " + units() + " than its blocks need");
        }
        return true;
    }

    uint64_t reached() const { return position; }
    const std::string& failure() const { return why; }

private:
    bool block(const int64_t* sizes, Plot3dBlock& block, std::size_t index)
    {
        block.nodes = 1;
        for (int d = 0; d < variant.dimensions; ++d) {
            if (sizes[d] < 1) {
                return fail("block " + std::to_string(index) + " has a size of " + std::to_string(sizes[d]));
            }
            block.size[d] = static_cast<uint32_t>(sizes[d]);
            block.nodes = times(block.nodes, uint64_t(sizes[d]));
        }
        if (kind == Plot3dKind::Grid) {
            const uint64_t coordinates = times(times(block.nodes, variant.dimensions), realUnit);
            const uint64_t blanks = variant.blanked ? times(block.nodes, intUnit) : 0;
            return record(plus(coordinates, blanks), block.data);
        }
        if (kind == Plot3dKind::Solution) {
            if (!record(4 * realUnit, block.conditions)) {
                return false;
            }
            return record(times(times(block.nodes, variant.dimensions + 2), realUnit), block.data);
        }
        if (sizes[variant.dimensions] < 1) {
            return fail("block " + std::to_string(index) + " has " + std::to_string(sizes[variant.dimensions]) +
                        " variables");
        }
        block.variables = static_cast<uint32_t>(sizes[variant.dimensions]);
        return record(times(times(block.nodes, block.variables), realUnit), block.data);
    }

    // A record of length units; a Fortran record is framed by its length
    // before and after it, both checked.
    bool record(uint64_t length, uint64_t& start)
    {
        const uint64_t frame = framed ? 8 : 0;
        if (plus(plus(position, length), frame) > source.total() || length > source.limit()) {
            return fail("a record of " + std::to_string(length) + " " + units() + " at " + std::to_string(position) +
                        " runs past the end");
        }
        if (framed) {
            std::vector<int64_t> markers;
            if (length > std::numeric_limits<int32_t>::max() || !integers(position, 1, markers) ||
                !integers(position + 4 + length, 1, markers, 1)) {
                return fail("a record of " + std::to_string(length) + " bytes at " + std::to_string(position) +
                            " has no markers of its length");
            }
            if (markers[0] != int64_t(length) || markers[1] != int64_t(length)) {
                return fail("the record at " + std::to_string(position) + " is marked " + std::to_string(markers[0]) +
                            " and " + std::to_string(markers[1]) + " where " + std::to_string(length) +
                            " was expected");
            }
            position += 4;
        }
        start = position;
        position += length + (framed ? 4 : 0);
        return true;
    }

    bool integers(uint64_t at, std::size_t count, std::vector<int64_t>& out, std::size_t keep = 0)
    {
        std::vector<int64_t> read;
        std::string reason;
        if (!source.integers(at, count, variant.bigEndian, read, reason)) {
            return fail(reason);
        }
        out.resize(keep);
        out.insert(out.end(), read.begin(), read.end());
        return true;
    }

    bool fail(const std::string& reason)
    {
        why = reason;
        return false;
    }

    std::string units() const { return variant.encoding == Plot3dEncoding::Ascii ? "values" : "bytes"; }

    Source& source;
    const Plot3dVariant variant;
    const Plot3dKind kind;
    const bool framed;
    const uint64_t intUnit;
    const uint64_t realUnit;
    uint64_t position = 0;
    std::string why;
};

template <typename T> std::vector<T> allowed(const std::optional<T>& hint, std::vector<T> all)
{
    return hint ? std::vector<T>{*hint} : all;
}

const char* kindName(Plot3dKind kind)
{
    return kind == Plot3dKind::Grid ? "grid" : kind == Plot3dKind::Solution ? "solution" : "function";
}
} // namespace

std::string Plot3dVariant::describe() const
{
    std::string text = encoding == Plot3dEncoding::Fortran ? "Fortran records"
                       : encoding == Plot3dEncoding::C     ? "C binary"
                                                           : "ASCII";
    if (encoding != Plot3dEncoding::Ascii) {
        text += bigEndian ? ", big endian" : ", little endian";
        text += realBytes == 8 ? ", double precision" : ", single precision";
    }
    text += dimensions == 2 ? ", 2-D" : ", 3-D";
    text += blockCount ? ", block count" : ", no block count";
    text += blanked ? ", IBLANK" : "";
    return text;
}

Plot3dStructure Plot3dStructure::detect(const BinaryFile& file, const std::string& path, Plot3dKind kind,
                                        const Plot3dHints& hints)
{
    char head[4096];
    const std::size_t headBytes = file.readAt(head, sizeof head, 0);
    const bool text = Plot3dAsciiTokens::looksLikeText(head, headBytes);
    std::unique_ptr<Source> source;
    std::vector<Plot3dEncoding> encodings;
    if (text) {
        source = std::make_unique<TextSource>(file, path);
        encodings = {Plot3dEncoding::Ascii};
    } else {
        source = std::make_unique<BinarySource>(file);
        encodings = {Plot3dEncoding::Fortran, Plot3dEncoding::C};
    }
    if (hints.encoding && (*hints.encoding == Plot3dEncoding::Ascii) != text) {
        TOOL_THROW(detectSource, path + (text ? " is text, not binary" : " is binary, not text"));
    }
    encodings = allowed(hints.encoding, encodings);
    std::vector<Plot3dStructure> fits;
    Plot3dVariant closest;
    uint64_t closestReach = 0;
    std::string closestWhy = "it is empty";
    for (Plot3dEncoding encoding : encodings) {
        const bool ascii = encoding == Plot3dEncoding::Ascii;
        for (bool big : ascii ? std::vector<bool>{false} : allowed(hints.bigEndian, {false, true})) {
            for (bool count : allowed(hints.blockCount, {false, true})) {
                for (int dimensions : allowed(hints.dimensions, {3, 2})) {
                    for (int real : ascii ? std::vector<int>{8} : allowed(hints.realBytes, {4, 8})) {
                        for (bool blanked : kind == Plot3dKind::Grid ? allowed(hints.blanked, {false, true})
                                                                     : std::vector<bool>{false}) {
                            Plot3dStructure candidate;
                            candidate.variant = {encoding, big, real, blanked, dimensions, count};
                            Layout layout(*source, candidate.variant, kind);
                            if (layout.fit(candidate.blocks)) {
                                fits.push_back(std::move(candidate));
                            } else if (layout.reached() >= closestReach) {
                                closestReach = layout.reached();
                                closest = candidate.variant;
                                closestWhy = layout.failure();
                            }
                        }
                    }
                }
            }
        }
    }
    if (fits.size() == 1) {
        return fits.front();
    }
    if (fits.size() > 1) {
        TOOL_THROW(detectSource, path + " fits more than one PLOT3D " + kindName(kind) +
                                     " variant: " + fits[0].variant.describe() + "; " + fits[1].variant.describe());
    }
    TOOL_THROW(detectSource, path + ": no PLOT3D " + kindName(kind) + " variant fits its " +
                                 std::to_string(source->total()) + (text ? " values" : " bytes") + "; tried " +
                                 (text ? "ASCII"
                                       : "Fortran records and C binary in both byte orders, single and double "
                                         "precision") +
                                 ", 3-D and 2-D, with and without a block count" +
                                 (kind == Plot3dKind::Grid ? " and IBLANK" : "") + " (closest: " + closest.describe() +
                                 ": " + closestWhy + ")");
}
