#include "FlowDataTest.h"

#include "flowdata/NetCdfReader.h"

#include <netcdf.h>

namespace {

const char* const atlasPath = "/usr/share/ferret-vis/data/ocean_atlas_subset.nc";

// Writes a netCDF file through the library, under its process-wide lock.
class NcWriter {
public:
    NcWriter(const std::string& path, int mode = NC_CLOBBER) : guard(NetCdfFile::lock())
    {
        ok(nc_create(path.c_str(), mode, &id));
    }
    ~NcWriter() { nc_close(id); }
    int dim(const char* name, std::size_t length)
    {
        int d = -1;
        ok(nc_def_dim(id, name, length, &d));
        return d;
    }
    int var(const char* name, nc_type type, std::vector<int> dims)
    {
        int v = -1;
        ok(nc_def_var(id, name, type, static_cast<int>(dims.size()), dims.data(), &v));
        return v;
    }
    void text(int v, const char* name, const std::string& value)
    {
        ok(nc_put_att_text(id, v, name, value.size(), value.data()));
    }
    void numbers(int v, const char* name, nc_type type, std::vector<double> values)
    {
        ok(nc_put_att_double(id, v, name, type, values.size(), values.data()));
    }
    void put(int v, std::vector<double> values)
    {
        if (!defined) {
            ok(nc_enddef(id));
        }
        defined = true;
        int rank = 0;
        ok(nc_inq_varndims(id, v, &rank));
        std::vector<int> dims(static_cast<std::size_t>(rank));
        ok(nc_inq_vardimid(id, v, dims.data()));
        std::vector<std::size_t> start(dims.size(), 0), count(dims.size());
        std::size_t rest = 1;
        for (std::size_t q = 0; q < dims.size(); ++q) {
            ok(nc_inq_dimlen(id, dims[q], &count[q]));
            rest *= q ? count[q] : 1;
        }
        // An unlimited dimension takes as many records as the values fill.
        if (!dims.empty() && count[0] == 0) {
            count[0] = values.size() / rest;
        }
        EXPECT_EQ((dims.empty() ? 1 : count[0]) * rest, values.size());
        ok(nc_put_vara_double(id, v, start.data(), count.data(), values.data()));
    }

private:
    static void ok(int status) { EXPECT_EQ(status, NC_NOERR) << nc_strerror(status); }
    std::lock_guard<std::mutex> guard;
    int id = -1;
    bool defined = false;
};

DataFrame emptyFrame(const FlowLayout& layout)
{
    const std::size_t nodes = std::size_t{layout.size[0]} * layout.size[1] * layout.size[2];
    DataFrame frame;
    frame.vectors.assign(3 * nodes, -1.0f);
    frame.layers.resize(layout.layerNames.size());
    for (DataLayer& layer : frame.layers) {
        layer.values.assign(nodes, -1.0f);
    }
    return frame;
}

std::size_t node(const FlowLayout& l, std::size_t i, std::size_t j, std::size_t k)
{
    return i + l.size[0] * (j + l.size[1] * k);
}

} // namespace

// --- Recognising a file ---------------------------------------------------

TEST(NetCdfReader, RecognisesClassicAndHdf5MagicBytes)
{
    EXPECT_TRUE(NetCdfReader::recognises("a.dat", "CDF\x01\0\0", 6));
    EXPECT_TRUE(NetCdfReader::recognises("a.dat", "CDF\x02", 4));
    EXPECT_TRUE(NetCdfReader::recognises("a.dat", "CDF\x05", 4));
    EXPECT_TRUE(NetCdfReader::recognises("a", "\x89HDF\r\n\x1a\n", 8));
    EXPECT_FALSE(NetCdfReader::recognises("a.dat", "CDF\x03", 4));
    EXPECT_FALSE(NetCdfReader::recognises("a.dat", "\x89HDF", 4));
    EXPECT_FALSE(NetCdfReader::recognises("run.gri", "SN4DB", 5));
}

// --- The ocean atlas (values from ncdump) ---------------------------------

TEST_F(FlowDataTest, OceanAtlasTemperaturesLandAndGrid)
{
    if (!fs::exists(atlasPath)) {
        GTEST_SKIP() << atlasPath << " is not installed";
    }
    const NetCdfReader reader(atlasPath, {});
    const FlowLayout& l = reader.layout();
    EXPECT_EQ(l.size, (std::array<uint32_t, 3>{{180, 90, 19}}));
    EXPECT_EQ(l.layerNames, std::vector<std::string>{"TEMP"});
    ASSERT_EQ(l.frameFiles.size(), 12u);
    // 730.485 hours between the months.
    EXPECT_NEAR(l.timestep, 730.485 * 3600.0, 1.0);

    std::vector<float> positions(3 * std::size_t{180} * 90 * 19);
    reader.readPositions(positions.data());
    const std::size_t pacific = node(l, 90, 45, 0);
    EXPECT_FLOAT_EQ(positions[3 * pacific], 200.5f);
    EXPECT_FLOAT_EQ(positions[3 * pacific + 1], 0.5f);
    EXPECT_FLOAT_EQ(positions[3 * pacific + 2], 0.0f);
    // 1000 m deep, drawn downwards a quarter as deep as the box is wide.
    EXPECT_NEAR(positions[3 * node(l, 90, 45, 18) + 2], -358.0f / 4.0f, 1e-3f);
    EXPECT_EQ(recorder().count("Vertical scale: 0.0895"), 1u);

    DataFrame frame = emptyFrame(l);
    reader.readFrame(0, frame);
    const std::vector<float>& temp = frame.layers[0].values;
    EXPECT_FLOAT_EQ(temp[pacific], 27.0219f);
    EXPECT_FLOAT_EQ(temp[node(l, 20, 45, 0)], 28.2156f);
    EXPECT_TRUE(std::isnan(temp[node(l, 50, 60, 0)])); // China
    EXPECT_TRUE(std::all_of(frame.vectors.begin(), frame.vectors.end(), [](float v) { return v == 0.0f; }));
    reader.readFrame(5, frame);
    EXPECT_FLOAT_EQ(temp[node(l, 160, 30, 3)], 21.6123f);
}

TEST_F(FlowDataTest, LoadOpensTheOceanAtlas)
{
    if (!fs::exists(atlasPath)) {
        GTEST_SKIP() << atlasPath << " is not installed";
    }
    FlowData data;
    ProgressRecorder progress;
    data.load(atlasPath, progress);
    ASSERT_NE(data.getSize(), nullptr);
    EXPECT_EQ(*data.getSize(), (std::array<uint32_t, 3>{{180, 90, 19}}));
    EXPECT_EQ(data.layerCount, 1);
    EXPECT_EQ(data.frameCount, 12);
    EXPECT_EQ(recorder().count("Flowdata loaded .. [OK]"), 1u);
    // Over all months -3 .. 34.1779 (ncdump): the land's fill is no extreme.
    float low = 0.0f, high = 0.0f;
    for (const DataFrame& f : data.frames) {
        low = std::min(low, f.layers[0].min);
        high = std::max(high, f.layers[0].max);
    }
    EXPECT_FLOAT_EQ(low, -3.0f);
    EXPECT_FLOAT_EQ(high, 34.1779f);
    const std::size_t pacific = 90 + 180 * 45;
    EXPECT_NEAR(data.frame(0)->layers[0].values[pacific], (27.0219 + 3.0) / (34.1779 + 3.0), 1e-5);
}

// --- Files written here from known fields ---------------------------------

TEST_F(FlowDataTest, CurvilinearGridWithWindVector)
{
    // 3 x 2 nodes, two times; longitude and latitude turn with the node.
    {
        NcWriter w(path("curved.nc"));
        const int t = w.dim("time", NC_UNLIMITED), y = w.dim("y", 2), x = w.dim("x", 3);
        const int time = w.var("time", NC_DOUBLE, {t});
        w.text(time, "units", "minutes since 2000-01-01");
        const int lon = w.var("lon", NC_FLOAT, {y, x}), lat = w.var("lat", NC_FLOAT, {y, x});
        w.text(lon, "units", "degrees_east");
        w.text(lat, "units", "degrees_north");
        const int east = w.var("ew", NC_FLOAT, {t, y, x}), north = w.var("v", NC_FLOAT, {t, y, x});
        w.text(east, "standard_name", "eastward_wind");
        w.text(east, "coordinates", "lon lat");
        const int speed = w.var("speed", NC_FLOAT, {t, y, x});
        w.put(time, {0, 2});
        w.put(lon, {10, 11, 12, 10.5, 11.5, 12.5});
        w.put(lat, {40, 40.1, 40.2, 41, 41.1, 41.2});
        w.put(east, {1, 2, 3, 4, 5, 6, 10, 20, 30, 40, 50, 60});
        w.put(north, {-1, -2, -3, -4, -5, -6, -10, -20, -30, -40, -50, -60});
        w.put(speed, {7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8});
    }
    const NetCdfReader reader(path("curved.nc"), {});
    const FlowLayout& l = reader.layout();
    EXPECT_EQ(l.size, (std::array<uint32_t, 3>{{3, 2, 1}}));
    EXPECT_EQ(l.layerNames, std::vector<std::string>{"speed"});
    EXPECT_FLOAT_EQ(l.timestep, 120.0f);

    std::vector<float> positions(18);
    reader.readPositions(positions.data());
    EXPECT_EQ(positions, (std::vector<float>{10, 40, 0, 11, 40.1f, 0, 12, 40.2f, 0, 10.5f, 41, 0, 11.5f, 41.1f, 0,
                                             12.5f, 41.2f, 0}));
    DataFrame frame = emptyFrame(l);
    reader.readFrame(1, frame);
    EXPECT_EQ(std::vector<float>(frame.vectors.begin() + 12, frame.vectors.end()),
              (std::vector<float>{50, -50, 0, 60, -60, 0}));
    EXPECT_EQ(frame.layers[0].values, std::vector<float>(6, 8.0f));
}

TEST_F(FlowDataTest, PackedValuesAndEveryKindOfMissingValue)
{
    {
        NcWriter w(path("packed.nc"));
        const int x = w.dim("x", 7);
        const int packed = w.var("packed", NC_SHORT, {x});
        w.numbers(packed, "scale_factor", NC_FLOAT, {0.5});
        w.numbers(packed, "add_offset", NC_FLOAT, {100});
        w.numbers(packed, "_FillValue", NC_SHORT, {-1});
        w.numbers(packed, "missing_value", NC_SHORT, {-2});
        // On stored values: 300 is valid, 301 is not.
        w.numbers(packed, "valid_range", NC_SHORT, {-10, 300});
        const int plain = w.var("plain", NC_FLOAT, {x});
        w.numbers(plain, "valid_min", NC_FLOAT, {0});
        w.put(packed, {0, 4, -1, -2, 300, 301, -10});
        w.put(plain, {1, NC_FILL_FLOAT, -0.5, 2, 3, 4, 5});
    }
    const NetCdfReader reader(path("packed.nc"), {});
    DataFrame frame = emptyFrame(reader.layout());
    reader.readFrame(0, frame);
    const std::vector<float>& p = frame.layers[0].values;
    EXPECT_EQ(p[0], 100.0f);
    EXPECT_EQ(p[1], 102.0f);
    EXPECT_TRUE(std::isnan(p[2]) && std::isnan(p[3]));
    EXPECT_EQ(p[4], 250.0f);
    EXPECT_TRUE(std::isnan(p[5]));
    EXPECT_EQ(p[6], 95.0f);
    const std::vector<float>& f = frame.layers[1].values;
    EXPECT_EQ(f[0], 1.0f);
    EXPECT_TRUE(std::isnan(f[1])); // the type's default fill
    EXPECT_TRUE(std::isnan(f[2])); // below valid_min
    EXPECT_EQ(f[6], 5.0f);
}

TEST_F(FlowDataTest, OpensTheGridOfMostVariablesAndMeansUnequalSteps)
{
    {
        NcWriter w(path("grids.nc"), NC_CLOBBER | NC_NETCDF4);
        const int t = w.dim("time", NC_UNLIMITED), z = w.dim("z", 2), x = w.dim("x", 2);
        const int time = w.var("time", NC_DOUBLE, {t});
        w.text(time, "units", "seconds since 1970-01-01");
        const int a = w.var("a", NC_DOUBLE, {t, z, x}), b = w.var("b", NC_INT, {z, x});
        const int surface = w.var("surface", NC_FLOAT, {t, x});
        w.put(time, {0, 1, 3});
        w.put(a, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
        w.put(b, {-1, -2, -3, -4});
        w.put(surface, {0, 0, 0, 0, 0, 0});
    }
    const NetCdfReader reader(path("grids.nc"), {});
    const FlowLayout& l = reader.layout();
    EXPECT_EQ(l.layerNames, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(l.size, (std::array<uint32_t, 3>{{2, 2, 1}}));
    EXPECT_FLOAT_EQ(l.timestep, 1.5f);
    EXPECT_EQ(recorder().count("Skipping grid x (surface)"), 1u);
    EXPECT_EQ(recorder().count("Time steps of time not equal, using their mean"), 1u);

    // Several threads read frames at once, each its own.
    std::vector<DataFrame> frames(3, emptyFrame(l));
    std::vector<std::thread> threads;
    for (std::size_t f = 0; f < 3; ++f) {
        threads.emplace_back([&, f] {
            for (int round = 0; round < 50; ++round) {
                reader.readFrame(f, frames[f]);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(frames[2].layers[0].values, (std::vector<float>{9, 10, 11, 12}));
    EXPECT_EQ(frames[1].layers[1].values, (std::vector<float>{-1, -2, -3, -4}));
    // Node positions count along dimensions without coordinates.
    std::vector<float> positions(12);
    reader.readPositions(positions.data());
    EXPECT_EQ(positions, (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}));
}

// --- Broken and hostile files ---------------------------------------------

class NetCdfFailure : public FlowDataTest {
protected:
    // A classic file of a 4 x 3 x 2 float field over two times.
    std::string writeField(const std::string& name)
    {
        {
            NcWriter w(path(name));
            const int t = w.dim("time", NC_UNLIMITED), z = w.dim("depth", 2), y = w.dim("lat", 3);
            const int x = w.dim("lon", 4);
            const int temp = w.var("temp", NC_FLOAT, {t, z, y, x});
            w.put(temp, std::vector<double>(48, 1.0));
        }
        return TestFiles::read(path(name));
    }
    std::string failure(const std::string& name)
    {
        try {
            NetCdfReader(path(name), {});
        } catch (const Tool::Exception& e) {
            EXPECT_NE(e.text.find(path(name)), std::string::npos) << e.text;
            return e.text;
        }
        ADD_FAILURE() << name << " opened";
        return {};
    }
};

TEST_F(NetCdfFailure, TruncatedFileFails)
{
    const std::string bytes = writeField("cut.nc");
    writeBytes("cut.nc", bytes.substr(0, bytes.size() - 40));
    const std::string cut = failure("cut.nc");
    EXPECT_NE(cut.find("is cut short"), std::string::npos) << cut;
    writeBytes("header.nc", bytes.substr(0, 30));
    failure("header.nc");
}

TEST_F(NetCdfFailure, HostileSizesFailBeforeAnyAllocation)
{
    std::string bytes = writeField("huge.nc");
    // The classic header gives each dimension's length after its padded name.
    const std::size_t lon = bytes.find("lon\0", 0, 4);
    ASSERT_NE(lon, std::string::npos);
    bytes.replace(lon + 4, 4, "\x7f\xff\xff\xff", 4);
    writeBytes("huge.nc", bytes);
    const std::string text = failure("huge.nc");
    EXPECT_NE(text.find("is cut short or its header is wrong"), std::string::npos) << text;

    std::string records = writeField("records.nc");
    records.replace(4, 4, "\x7f\xff\xff\xff", 4); // the record count
    writeBytes("records.nc", records);
    const std::string many = failure("records.nc");
    EXPECT_NE(many.find("is cut short or its header is wrong"), std::string::npos) << many;

    writeBytes("text.nc", "not a netCDF file at all");
    EXPECT_NE(failure("text.nc").find("NetCDF: Unknown file format"), std::string::npos);
}
