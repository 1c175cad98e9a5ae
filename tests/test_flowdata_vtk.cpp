#include "FlowDataTest.h"
#include "flowdata/Base64.h"
#include "flowdata/VtkLegacyReader.h"
#include "flowdata/VtkXmlReader.h"

#include <zlib.h>

namespace {

// --- Writing VTK files from known fields ------------------------------------

// A 4 x 3 x 2 grid: positions bend along z, the vector and two layers follow the node index.
constexpr uint32_t NX = 4, NY = 3, NZ = 2, Nodes = NX * NY * NZ;
std::array<double, 3> position(uint32_t i, uint32_t j, uint32_t k)
{
    return {{0.5 * i, 2.0 + j, -1.0 + 0.25 * k + 0.125 * i * k}};
}
double pressure(uint32_t node, int frame = 0)
{
    return 100.0 + 0.5 * node + 10 * frame;
}
double tag(uint32_t node)
{
    return double(node % 7);
}

std::string base64(const std::string& bytes)
{
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t bits = uint32_t(uint8_t(bytes[i])) << 16;
        bits |= i + 1 < bytes.size() ? uint32_t(uint8_t(bytes[i + 1])) << 8 : 0;
        bits |= i + 2 < bytes.size() ? uint32_t(uint8_t(bytes[i + 2])) : 0;
        const std::size_t left = bytes.size() - i;
        text += alphabet[(bits >> 18) & 63];
        text += alphabet[(bits >> 12) & 63];
        text += left > 1 ? alphabet[(bits >> 6) & 63] : '=';
        text += left > 2 ? alphabet[bits & 63] : '=';
    }
    return text;
}

struct XmlStyle {
    std::string format = "ascii"; // ascii, binary, appended
    bool base64Appended = false;
    bool compressed = false;
    bool header64 = false;
    bool float64 = false;
    bool bigEndian = false;
    std::string label() const
    {
        return format + (base64Appended ? "/base64" : "") + (compressed ? "/zlib" : "") + (header64 ? "/UInt64" : "") +
               (float64 ? "/Float64" : "/Float32") + (bigEndian ? "/BigEndian" : "");
    }
};

// Writes one XML file's arrays in a style; appended blocks collect until the file is finished.
class XmlWriter {
public:
    explicit XmlWriter(XmlStyle style) : style(std::move(style)) {}

    std::string array(const std::string& name, int components, const std::vector<double>& values)
    {
        std::string element = "<DataArray type=\"" + std::string(style.float64 ? "Float64" : "Float32") + "\" Name=\"" +
                              name + "\" NumberOfComponents=\"" + std::to_string(components) + "\" format=\"" +
                              style.format + "\"";
        if (style.format == "ascii") {
            element += ">";
            for (double v : values) {
                element += " " + std::to_string(v);
            }
            return element + "</DataArray>\n";
        }
        const std::pair<std::string, std::string> data = block(values);
        if (style.format == "binary") {
            return element + ">" + base64(data.first) + base64(data.second) + "</DataArray>\n";
        }
        element += " offset=\"" + std::to_string(appended.size()) + "\"/>\n";
        appended += style.base64Appended ? base64(data.first) + base64(data.second) : data.first + data.second;
        return element;
    }

    std::string file(const std::string& type, const std::string& gridAttributes, const std::string& pieces) const
    {
        std::string text = "<?xml version=\"1.0\"?>\n<VTKFile type=\"" + type + "\" version=\"1.0\" byte_order=\"" +
                           (style.bigEndian ? "BigEndian" : "LittleEndian") + "\" header_type=\"" +
                           (style.header64 ? "UInt64" : "UInt32") + "\"" +
                           (style.compressed ? " compressor=\"vtkZLibDataCompressor\"" : "") + ">\n<" + type + " " +
                           gridAttributes + ">\n" + pieces + "</" + type + ">\n";
        if (style.format == "appended") {
            text += "<AppendedData encoding=\"" + std::string(style.base64Appended ? "base64" : "raw") + "\">\n _" +
                    appended + "\n</AppendedData>\n";
        }
        return text + "</VTKFile>\n";
    }

    XmlStyle style;

private:
    std::string ordered(std::string bytes) const
    {
        if (style.bigEndian) {
            std::reverse(bytes.begin(), bytes.end());
        }
        return bytes;
    }
    std::string integer(uint64_t value) const
    {
        return ordered(std::string(reinterpret_cast<const char*>(&value), style.header64 ? 8 : 4));
    }

    // The header and the data of one block; compressed in blocks of 40 bytes so the last is short.
    std::pair<std::string, std::string> block(const std::vector<double>& values) const
    {
        std::string bytes;
        for (double v : values) {
            const float f = float(v);
            bytes += ordered(style.float64 ? std::string(reinterpret_cast<const char*>(&v), 8)
                                           : std::string(reinterpret_cast<const char*>(&f), 4));
        }
        if (!style.compressed) {
            return {integer(bytes.size()), bytes};
        }
        const std::size_t blockSize = 40, blocks = (bytes.size() + blockSize - 1) / blockSize;
        std::string header = integer(blocks) + integer(blockSize) + integer(bytes.size() % blockSize), data;
        for (std::size_t b = 0; b < blocks; ++b) {
            const std::string part = bytes.substr(b * blockSize, blockSize);
            std::string packed(compressBound(part.size()), '\0');
            uLongf size = packed.size();
            compress(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(part.data()),
                     part.size());
            header += integer(size);
            data += packed.substr(0, size);
        }
        return {header, data};
    }

    std::string appended;
};

std::string extent(uint32_t x0, uint32_t x1, uint32_t y1, uint32_t z1)
{
    return std::to_string(x0) + " " + std::to_string(x1) + " 0 " + std::to_string(y1) + " 0 " + std::to_string(z1);
}

// A piece of a structured grid over nodes x0 .. x1 with the known fields of frame.
std::string structuredPiece(XmlWriter& w, uint32_t x0, uint32_t x1, int frame = 0)
{
    std::vector<double> points, vectors, p, t;
    for (uint32_t k = 0; k < NZ; ++k) {
        for (uint32_t j = 0; j < NY; ++j) {
            for (uint32_t i = x0; i <= x1; ++i) {
                const uint32_t node = i + NX * (j + NY * k);
                const std::array<double, 3> xyz = position(i, j, k);
                points.insert(points.end(), xyz.begin(), xyz.end());
                vectors.insert(vectors.end(), {double(node), -double(node), 0.5});
                p.push_back(pressure(node, frame));
                t.push_back(tag(node));
            }
        }
    }
    // One call after another: the appended data takes the arrays in this order.
    std::string piece = "<Piece Extent=\"" + extent(x0, x1, NY - 1, NZ - 1) + "\">\n<PointData Vectors=\"velocity\">\n";
    piece += w.array("pressure", 1, p);
    piece += w.array("normals", 3, points);
    piece += w.array("velocity", 3, vectors);
    piece += w.array("tag", 1, t);
    piece += "</PointData>\n<Points>\n";
    piece += w.array("Points", 3, points);
    return piece + "</Points>\n</Piece>\n";
}

std::string structuredFile(XmlStyle style, int frame = 0, bool onePiece = false)
{
    XmlWriter w(std::move(style));
    std::string pieces = structuredPiece(w, 0, onePiece ? NX - 1 : 1, frame);
    if (!onePiece) {
        pieces += structuredPiece(w, 1, NX - 1, frame);
    }
    return w.file("StructuredGrid", "WholeExtent=\"" + extent(0, NX - 1, NY - 1, NZ - 1) + "\"", pieces);
}

class VtkXmlTest : public FlowDataTest {
protected:
    std::unique_ptr<VtkXmlReader> open(const std::string& name)
    {
        return std::make_unique<VtkXmlReader>(path(name), FlowReaderOptions());
    }
    // Reads frame f with arrays sized as the load sizes them.
    static DataFrame frame(const FlowReader& reader, std::size_t f = 0)
    {
        const std::array<uint32_t, 3> n = reader.layout().size;
        DataFrame frame;
        frame.vectors.resize(3 * std::size_t(n[0]) * n[1] * n[2]);
        frame.layers.resize(reader.layout().layerNames.size());
        for (DataLayer& layer : frame.layers) {
            layer.values.resize(frame.vectors.size() / 3);
        }
        reader.readFrame(f, frame);
        return frame;
    }
    std::string openFailure(const std::string& name)
    {
        try {
            const std::unique_ptr<VtkXmlReader> reader = open(name);
            std::vector<float> positions(3 * std::size_t(reader->layout().size[0]) * reader->layout().size[1] *
                                         reader->layout().size[2]);
            reader->readPositions(positions.data());
            frame(*reader);
        } catch (const Tool::Exception& e) {
            EXPECT_NE(e.text.find(path(name)), std::string::npos) << e.text;
            return e.text;
        }
        ADD_FAILURE() << name << " was read";
        return std::string();
    }
    static void expectKnownFrame(const FlowReader& reader, const DataFrame& f, int frameIndex = 0)
    {
        ASSERT_EQ(reader.layout().size, (std::array<uint32_t, 3>{{NX, NY, NZ}}));
        ASSERT_EQ(reader.layout().layerNames, (std::vector<std::string>{"pressure", "tag"}));
        for (uint32_t node = 0; node < Nodes; ++node) {
            ASSERT_FLOAT_EQ(f.vectors[3 * node], float(node));
            ASSERT_FLOAT_EQ(f.vectors[3 * node + 1], -float(node));
            ASSERT_FLOAT_EQ(f.layers[0].values[node], float(pressure(node, frameIndex)));
            ASSERT_FLOAT_EQ(f.layers[1].values[node], float(tag(node)));
        }
    }
};

// --- XML files ----------------------------------------------------------------

TEST_F(VtkXmlTest, RealCubeHoldsItsCompressedFloat64Scalars)
{
    const std::string cube = std::string(QUORVANE_SOURCE_DIR) + "/tests/data/vtk/cube.vti";
    const VtkXmlReader reader(cube, FlowReaderOptions());
    EXPECT_EQ(reader.layout().size, (std::array<uint32_t, 3>{{3, 3, 3}}));
    EXPECT_EQ(reader.layout().layerNames, std::vector<std::string>{"scalars"});
    EXPECT_EQ(reader.layout().frameFiles, std::vector<std::string>{cube});
    const DataFrame f = frame(reader);
    EXPECT_FLOAT_EQ(f.layers[0].values[0], 0.62205573549127f);
    EXPECT_FLOAT_EQ(f.layers[0].values[1], 0.37133360634172374f);
    EXPECT_FLOAT_EQ(f.layers[0].values[13], 0.21546858664766466f);
    EXPECT_FLOAT_EQ(f.layers[0].values[26], 0.3151097309398909f);
    EXPECT_EQ(f.vectors, std::vector<float>(81, 0.0f));
    std::vector<float> positions(81);
    reader.readPositions(positions.data());
    EXPECT_EQ(std::vector<float>(positions.begin() + 3 * 14, positions.begin() + 3 * 15),
              (std::vector<float>{2, 1, 1}));
}

TEST_F(VtkXmlTest, RealHeartHoldsItsAsciiScalarsOnItsSpacing)
{
    const VtkXmlReader reader(std::string(QUORVANE_SOURCE_DIR) + "/tests/data/vtk/heart.vti", FlowReaderOptions());
    ASSERT_EQ(reader.layout().size, (std::array<uint32_t, 3>{{32, 32, 12}}));
    const DataFrame f = frame(reader);
    EXPECT_EQ(std::vector<float>(f.layers[0].values.begin(), f.layers[0].values.begin() + 3),
              (std::vector<float>{16, 15, 16}));
    EXPECT_EQ(f.layers[0].values.back(), 18.0f);
    std::vector<float> positions(3 * 32 * 32 * 12);
    reader.readPositions(positions.data());
    EXPECT_EQ(std::vector<float>(positions.end() - 3, positions.end()), (std::vector<float>{31, 31, 44}));
}

TEST_F(VtkXmlTest, EveryEncodingGivesTheKnownFieldsStitchedFromTwoPieces)
{
    std::vector<XmlStyle> styles;
    for (const char* format : {"ascii", "binary", "appended"}) {
        for (int variant = 0; variant < 8; ++variant) {
            XmlStyle s;
            s.format = format;
            s.compressed = variant & 1;
            s.header64 = variant & 2;
            s.float64 = variant & 4;
            styles.push_back(s);
        }
    }
    XmlStyle bigEndian{"appended", false, true, true, true, true};
    styles.push_back(bigEndian);
    bigEndian.compressed = false;
    styles.push_back(bigEndian);
    XmlStyle base64Appended;
    base64Appended.format = "appended";
    base64Appended.base64Appended = true;
    styles.push_back(base64Appended);
    base64Appended.compressed = true;
    styles.push_back(base64Appended);
    for (const XmlStyle& style : styles) {
        SCOPED_TRACE(style.label());
        writeBytes("grid.vts", structuredFile(style));
        const std::unique_ptr<VtkXmlReader> reader = open("grid.vts");
        expectKnownFrame(*reader, frame(*reader));
        std::vector<float> positions(3 * Nodes);
        reader->readPositions(positions.data());
        const std::array<double, 3> last = position(NX - 1, NY - 1, NZ - 1);
        EXPECT_FLOAT_EQ(positions[3 * (Nodes - 1) + 2], float(last[2]));
        EXPECT_FLOAT_EQ(positions[3 * 5], float(position(1, 1, 0)[0]));
    }
}

TEST(VtkReaders, RecogniseTheirFilesByContent)
{
    const std::string image = "<?xml version=\"1.0\"?>\n<VTKFile type=\"ImageData\" version=\"0.1\">";
    const std::string unstructured = "<VTKFile type=\"UnstructuredGrid\">";
    const std::string legacy = "# vtk DataFile Version 2.0\ntitle\nASCII\n";
    EXPECT_TRUE(VtkXmlReader::recognises("a.xml", image.data(), image.size()));
    EXPECT_FALSE(VtkXmlReader::recognises("a.vtu", unstructured.data(), unstructured.size()));
    EXPECT_FALSE(VtkXmlReader::recognises("a.vts", legacy.data(), legacy.size()));
    EXPECT_TRUE(VtkLegacyReader::recognises("a.txt", legacy.data(), legacy.size()));
    EXPECT_FALSE(VtkLegacyReader::recognises("a.vtk", image.data(), image.size()));
}

TEST(Base64, DecodesGroupsPaddedOneAfterAnother)
{
    std::string out;
    EXPECT_TRUE(Base64::decode("AQAAAA==\n AgME", 14, out));
    EXPECT_EQ(out, std::string("\x01\0\0\0\x02\x03\x04", 7));
    EXPECT_FALSE(Base64::decode("AQA", 3, out));
    EXPECT_FALSE(Base64::decode("A=AA", 4, out));
    EXPECT_FALSE(Base64::decode("AQ*A", 4, out));
}

TEST_F(VtkXmlTest, RectilinearAndImageGridsPlaceTheirNodes)
{
    XmlWriter w(XmlStyle{"appended", false, true, false, false});
    const std::string data = "<PointData>" + w.array("p", 1, {1, 2, 3, 4, 5, 6, 7, 8}) + "</PointData>\n";
    writeBytes("grid.vtr", w.file("RectilinearGrid", "WholeExtent=\"0 1 0 1 0 1\"",
                                  "<Piece Extent=\"0 1 0 1 0 1\">" + data + "<Coordinates>" + w.array("x", 1, {0, 3}) +
                                      w.array("y", 1, {-1, 1}) + w.array("z", 1, {5, 9}) + "</Coordinates></Piece>\n"));
    std::vector<float> positions(24);
    open("grid.vtr")->readPositions(positions.data());
    EXPECT_EQ(std::vector<float>(positions.begin() + 3 * 6, positions.begin() + 3 * 7), (std::vector<float>{0, 1, 9}));

    XmlWriter image(XmlStyle{});
    writeBytes("grid.vti", image.file("ImageData", "WholeExtent=\"2 3 0 1 0 1\" Origin=\"1 0 0\" Spacing=\"0.5 2 3\"",
                                      "<Piece Extent=\"2 3 0 1 0 1\"><PointData>" +
                                          image.array("p", 1, {1, 2, 3, 4, 5, 6, 7, 8}) + "</PointData></Piece>\n"));
    const std::unique_ptr<VtkXmlReader> reader = open("grid.vti");
    reader->readPositions(positions.data());
    EXPECT_EQ(std::vector<float>(positions.begin() + 3 * 7, positions.end()), (std::vector<float>{2.5, 2, 3}));
    EXPECT_EQ(frame(*reader).layers[0].values[7], 8.0f);
}

TEST_F(VtkXmlTest, CollectionIsASeriesByTimestepWithPartsAsPieces)
{
    XmlStyle raw{"appended", false, false, false, false};
    for (int f = 0; f < 3; ++f) {
        // One piece of raw floats is read straight into the frame.
        writeBytes("step" + std::to_string(f) + ".vts", structuredFile(raw, f, f == 0));
    }
    // The middle step comes in two parts, each holding one piece.
    XmlWriter left(raw), right(raw);
    const std::string whole = "WholeExtent=\"" + extent(0, NX - 1, NY - 1, NZ - 1) + "\"";
    writeBytes("step1a.vts", left.file("StructuredGrid", whole, structuredPiece(left, 0, 1, 1)));
    writeBytes("step1b.vts", right.file("StructuredGrid", whole, structuredPiece(right, 2, NX - 1, 1)));
    writeBytes("series.pvd", "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"0.1\"><Collection>\n"
                             "<DataSet timestep=\"0.5\" part=\"0\" file=\"step2.vts\"/>\n"
                             "<DataSet timestep=\"0.25\" part=\"0\" file=\"step1a.vts\"/>\n"
                             "<DataSet timestep=\"0.25\" part=\"1\" file=\"step1b.vts\"/>\n"
                             "<DataSet timestep=\"0\" part=\"0\" file=\"step0.vts\"/>\n"
                             "</Collection></VTKFile>\n");
    const std::unique_ptr<VtkXmlReader> reader = open("series.pvd");
    EXPECT_EQ(reader->layout().frameFiles,
              (std::vector<std::string>{path("step0.vts"), path("step1a.vts"), path("step2.vts")}));
    EXPECT_FLOAT_EQ(reader->layout().timestep, 0.25f);
    // Several threads read frames at once.
    std::vector<DataFrame> frames(6);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < frames.size(); ++t) {
        threads.emplace_back([&, t] {
            try {
                frames[t] = frame(*reader, t % 3);
            } catch (const Tool::Exception& e) {
                ADD_FAILURE() << e.text;
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (std::size_t t = 0; t < frames.size(); ++t) {
        SCOPED_TRACE(t);
        expectKnownFrame(*reader, frames[t], int(t % 3));
    }
}

TEST_F(VtkXmlTest, CellDataOnlyIsRefused)
{
    XmlWriter w(XmlStyle{});
    writeBytes("cells.vti", w.file("ImageData", "WholeExtent=\"0 1 0 1 0 1\"",
                                   "<Piece Extent=\"0 1 0 1 0 1\"><PointData/><CellData>" + w.array("c", 1, {1}) +
                                       "</CellData></Piece>\n"));
    EXPECT_NE(openFailure("cells.vti").find("holds cell data only"), std::string::npos);
}

TEST_F(VtkXmlTest, TruncatedFilesFail)
{
    for (const XmlStyle& style :
         {XmlStyle{"appended", false, false, false, false}, XmlStyle{"appended", false, true, false, false},
          XmlStyle{"binary", false, true, true, false}, XmlStyle{}}) {
        SCOPED_TRACE(style.label());
        const std::string whole = structuredFile(style);
        // Appended data loses its end, an inline array its last value.
        const std::size_t end = whole.find("</DataArray>");
        const std::size_t cut = style.format == "appended" ? whole.size() - 40
                                : style.format == "binary" ? end - 8
                                                           : whole.rfind(' ', end - 2);
        writeBytes("cut.vts", whole.substr(0, cut) + (style.format == "appended" ? "" : whole.substr(end)));
        openFailure("cut.vts");
    }
}

TEST_F(VtkXmlTest, HostileSizesFailBeforeAnyAllocation)
{
    // A whole extent of 2^93 nodes over an array of one value.
    XmlWriter w(XmlStyle{"appended", false, true, false, false});
    const std::string huge = "0 2000000000 0 2000000000 0 2000000000";
    writeBytes("huge.vti",
               w.file("ImageData", "WholeExtent=\"" + huge + "\"",
                      "<Piece Extent=\"" + huge + "\"><PointData>" + w.array("p", 1, {1}) + "</PointData></Piece>\n"));
    EXPECT_NE(openFailure("huge.vti").find("more than the file holds"), std::string::npos);

    // A compressed header claiming 2^40 blocks of 2^40 bytes.
    std::string file = structuredFile(XmlStyle{"appended", false, true, true, false});
    const std::size_t data = file.find('_', file.find("<AppendedData")) + 1;
    const uint64_t claim = uint64_t(1) << 40;
    file.replace(data, 8, reinterpret_cast<const char*>(&claim), 8);
    file.replace(data + 8, 8, reinterpret_cast<const char*>(&claim), 8);
    writeBytes("claims.vts", file);
    EXPECT_NE(openFailure("claims.vts").find("header is invalid"), std::string::npos);
}

TEST_F(VtkXmlTest, CompressedClaimBeyondWhatItsBytesInflateToFailsOnOpening)
{
    // 10^8 nodes of Float32 from blocks of one compressed byte each, padded
    // so the file is large enough for the claim at first sight.
    const uint32_t blocks = 12208, blockSize = 32768;
    std::vector<uint32_t> header{blocks, blockSize, uint32_t(400000000u - (blocks - 1) * blockSize)};
    header.resize(3 + blocks, 1);
    XmlWriter w(XmlStyle{"appended", false, true, false, false});
    std::string file = w.file("ImageData", "WholeExtent=\"0 999 0 999 0 99\"",
                              "<Piece Extent=\"0 999 0 999 0 99\"><PointData><DataArray type=\"Float32\" Name=\"p\" "
                              "format=\"appended\" offset=\"0\"/></PointData></Piece>\n");
    const std::size_t data = file.find('_', file.find("<AppendedData")) + 1;
    file.insert(data, std::string(reinterpret_cast<const char*>(header.data()), header.size() * 4) +
                          std::string(400000, '\0'));
    writeBytes("claim.vti", file);
    try {
        open("claim.vti");
        ADD_FAILURE() << "claim.vti was opened";
    } catch (const Tool::Exception& e) {
        EXPECT_NE(e.text.find("too small to inflate"), std::string::npos) << e.text;
    }
}

// --- Legacy files ---------------------------------------------------------------

// Values as a legacy file stores them: words, or big-endian binary of the type.
std::string legacyValues(bool binary, const std::string& type, const std::vector<double>& values)
{
    std::string out;
    for (double v : values) {
        if (!binary) {
            out += std::to_string(v) + (out.size() % 80 > 70 ? "\n" : " ");
            continue;
        }
        const float f = float(v);
        const int32_t i = int32_t(v);
        const uint8_t c = uint8_t(v);
        std::string bytes = type == "double"          ? std::string(reinterpret_cast<const char*>(&v), 8)
                            : type == "int"           ? std::string(reinterpret_cast<const char*>(&i), 4)
                            : type == "unsigned_char" ? std::string(reinterpret_cast<const char*>(&c), 1)
                                                      : std::string(reinterpret_cast<const char*>(&f), 4);
        std::reverse(bytes.begin(), bytes.end());
        out += bytes;
    }
    return out + "\n";
}

// The known fields as a legacy data set of the given kind, with a cell
// section to skip before the point data.
std::string legacyFile(bool binary, const std::string& kind)
{
    std::vector<double> points, vectors, p, t, x, y, z;
    for (uint32_t k = 0; k < NZ; ++k) {
        for (uint32_t j = 0; j < NY; ++j) {
            for (uint32_t i = 0; i < NX; ++i) {
                const uint32_t node = i + NX * (j + NY * k);
                const std::array<double, 3> xyz = position(i, j, k);
                points.insert(points.end(), xyz.begin(), xyz.end());
                vectors.insert(vectors.end(), {double(node), -double(node), 0.5});
                p.push_back(pressure(node));
                t.push_back(tag(node));
            }
        }
    }
    std::string text = "# vtk DataFile Version 3.0\nknown fields\n" + std::string(binary ? "BINARY" : "ASCII") +
                       "\nDATASET " + kind + "\nDIMENSIONS 4 3 2\n";
    if (kind == "STRUCTURED_GRID") {
        text += "POINTS 24 double\n" + legacyValues(binary, "double", points);
    } else if (kind == "RECTILINEAR_GRID") {
        text += "X_COORDINATES 4 float\n" + legacyValues(binary, "float", {0, 0.5, 1, 1.5}) +
                "Y_COORDINATES 3 float\n" + legacyValues(binary, "float", {2, 3, 4}) + "Z_COORDINATES 2 float\n" +
                legacyValues(binary, "float", {-1, -0.75});
    } else {
        text += "ORIGIN 0 2 -1\nSPACING 0.5 1 0.25\n";
    }
    text +=
        "CELL_DATA 6\nSCALARS cells float\nLOOKUP_TABLE default\n" + legacyValues(binary, "float", {1, 2, 3, 4, 5, 6});
    text += "POINT_DATA 24\nSCALARS pressure double 1\nLOOKUP_TABLE default\n" + legacyValues(binary, "double", p) +
            "NORMALS normals float\n" + legacyValues(binary, "float", points) + "VECTORS velocity float\n" +
            legacyValues(binary, "float", vectors) + "FIELD extra 1\ntag 1 24 int\n" + legacyValues(binary, "int", t);
    return text;
}

class VtkLegacyTest : public VtkXmlTest {
protected:
    std::unique_ptr<VtkLegacyReader> openLegacy(const std::string& name)
    {
        return std::make_unique<VtkLegacyReader>(path(name), FlowReaderOptions());
    }
    std::string legacyFailure(const std::string& name)
    {
        try {
            const std::unique_ptr<VtkLegacyReader> reader = openLegacy(name);
            std::vector<float> positions(3 * Nodes);
            reader->readPositions(positions.data());
            frame(*reader);
        } catch (const Tool::Exception& e) {
            EXPECT_NE(e.text.find(path(name)), std::string::npos) << e.text;
            return e.text;
        }
        ADD_FAILURE() << name << " was read";
        return std::string();
    }
};

TEST_F(VtkLegacyTest, RealHeartHoldsTheValuesOfItsXmlTwin)
{
    const std::string folder = std::string(QUORVANE_SOURCE_DIR) + "/tests/data/vtk/";
    const VtkLegacyReader legacy(folder + "heart.vtk", FlowReaderOptions());
    const VtkXmlReader xml(folder + "heart.vti", FlowReaderOptions());
    ASSERT_EQ(legacy.layout().size, xml.layout().size);
    EXPECT_EQ(legacy.layout().layerNames, std::vector<std::string>{"scalars"});
    EXPECT_EQ(frame(legacy).layers[0].values, frame(xml).layers[0].values);
    std::vector<float> a(3 * 32 * 32 * 12), b(a.size());
    legacy.readPositions(a.data());
    xml.readPositions(b.data());
    EXPECT_EQ(a, b);
}

TEST_F(VtkLegacyTest, EveryKindAsTextOrBinaryGivesTheKnownFields)
{
    for (const char* kind : {"STRUCTURED_GRID", "RECTILINEAR_GRID", "STRUCTURED_POINTS"}) {
        for (bool binary : {false, true}) {
            SCOPED_TRACE(std::string(kind) + (binary ? " binary" : " ascii"));
            writeBytes("grid.vtk", legacyFile(binary, kind));
            const std::unique_ptr<VtkLegacyReader> reader = openLegacy("grid.vtk");
            expectKnownFrame(*reader, frame(*reader));
            std::vector<float> positions(3 * Nodes);
            reader->readPositions(positions.data());
            const uint32_t node = 1 + NX * (2 + NY * 1);
            const std::array<double, 3> expected = position(1, 2, 1);
            EXPECT_FLOAT_EQ(positions[3 * node], float(expected[0]));
            EXPECT_FLOAT_EQ(positions[3 * node + 1], float(expected[1]));
            if (std::string(kind) == "STRUCTURED_GRID") {
                EXPECT_FLOAT_EQ(positions[3 * node + 2], float(expected[2]));
            }
        }
    }
}

TEST_F(VtkLegacyTest, CellDataOnlyIsRefused)
{
    writeBytes("cells.vtk", "# vtk DataFile Version 2.0\ncells\nASCII\nDATASET STRUCTURED_POINTS\n"
                            "DIMENSIONS 2 2 2\nCELL_DATA 1\nSCALARS c float\nLOOKUP_TABLE default\n1\n");
    EXPECT_NE(legacyFailure("cells.vtk").find("holds cell data only"), std::string::npos);
}

TEST_F(VtkLegacyTest, TruncatedFilesFail)
{
    for (bool binary : {false, true}) {
        SCOPED_TRACE(binary);
        const std::string whole = legacyFile(binary, "STRUCTURED_GRID");
        writeBytes("cut.vtk", whole.substr(0, whole.size() - 12));
        legacyFailure("cut.vtk");
    }
}

TEST_F(VtkLegacyTest, HostileCountsFailBeforeAnyAllocation)
{
    const std::string start = "# vtk DataFile Version 2.0\nhostile\nBINARY\nDATASET STRUCTURED_GRID\n";
    writeBytes("points.vtk", start + "DIMENSIONS 2 2 2\nPOINTS 100 float\n" + std::string(96, '\0'));
    EXPECT_NE(legacyFailure("points.vtk").find("more than the file holds"), std::string::npos);
    writeBytes("dims.vtk", start + "DIMENSIONS 2000000000 2000000000 2000000000\nPOINTS 1 float\n" +
                               std::string(12, '\0') + "POINT_DATA 1\nSCALARS p float\n" + std::string(4, '\0'));
    EXPECT_NE(legacyFailure("dims.vtk").find("values for a grid of"), std::string::npos);
    writeBytes("negative.vtk", start + "DIMENSIONS 2 -2 2\n");
    EXPECT_NE(legacyFailure("negative.vtk").find("invalid DIMENSIONS"), std::string::npos);
}

// --- Through the load -------------------------------------------------------

TEST_F(FlowDataTest, LoadOpensTheRealCube)
{
    const std::string cube = std::string(QUORVANE_SOURCE_DIR) + "/tests/data/vtk/cube.vti";
    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(cube, progress));
    ASSERT_NE(data.getSize(), nullptr);
    EXPECT_EQ(*data.getSize(), (std::array<uint32_t, 3>{{3, 3, 3}}));
    EXPECT_EQ(data.layerCount, 1);
    EXPECT_EQ(recorder().texts(),
              (std::vector<std::string>{"Loading file " + cube + " ..", "Gridfile loaded .. [OK]",
                                        "Loading Dataframe: cube.vti .. [OK]", "Flowdata loaded .. [OK]"}));
    EXPECT_EQ(recorder().messages[1].details,
              "Size: 3x3x3 DataLayer:1 Frames:1 Timestep:0\n\t\t\t Geometry: 2 x 2 x 2");
    // Positive values: rescaled by the largest, node 16's.
    const std::shared_ptr<const DataFrame> frame = data.frame(0);
    EXPECT_FLOAT_EQ(frame->layers[0].values[16], 1.0f);
    EXPECT_FLOAT_EQ(frame->layers[0].values[0], float(0.62205573549127 / 0.9942087187364463));
}

} // namespace
