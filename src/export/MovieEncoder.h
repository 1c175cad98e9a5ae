#pragma once

#include <memory>
#include <string>
#include <vector>

// Turns RGBA pictures into a movie file with FFmpeg's libraries, one call per
// picture, on the caller's thread. The container follows the file's
// extension: ".mp4" and ".mkv" hold H.264 (MPEG-4 part 2 when the library
// has no H.264 encoder), ".webm" holds VP9 (else VP8). The file shows up
// under its name only once finish() has succeeded; until then it is a
// temporary file next to it, removed when the encoder goes away unfinished.
class MovieEncoder {
public:
    // Throws Tool::Exception when the extension is not one of the above, no
    // encoder is available, the size is not even (4:2:0 chroma halves it)
    // or the file cannot be created.
    MovieEncoder(const std::string& path, int width, int height, double framesPerSecond);
    ~MovieEncoder();
    MovieEncoder(const MovieEncoder&) = delete;
    MovieEncoder& operator=(const MovieEncoder&) = delete;

    // One picture of width x height RGBA8 texels, top row first. Throws
    // Tool::Exception when it is too small or encoding or writing fails.
    void encode(const std::vector<unsigned char>& rgba);
    // Flushes the encoder, writes the file's index and gives the file its
    // name. Throws Tool::Exception on failure (a full disk shows here).
    void finish();

    // True for the extensions a movie can be written to.
    static bool knownExtension(const std::string& path);
    // The codec chosen, for the log.
    std::string codecName() const;

private:
    struct State;
    std::unique_ptr<State> state;
};
