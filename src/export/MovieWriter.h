#pragma once

#include "export/MovieEncoder.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A MovieEncoder fed through a worker thread: the caller draws the next
// picture while the last one is converted and encoded. At most two pictures
// wait, so memory stays bounded however long the movie.
class MovieWriter {
public:
    // Opens the encoder on the caller's thread; throws as MovieEncoder does.
    // Without a thread to spare, pictures are encoded in write().
    MovieWriter(const std::string& path, int width, int height, double framesPerSecond);
    // Without finish(): drops what waits and removes the unfinished file.
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // Takes the picture (width x height RGBA8, top row first) and hands back
    // in rgba a buffer to draw the next one into. Waits while the worker is
    // behind. Throws the worker's failure, if any.
    void write(std::vector<unsigned char>& rgba);
    // Encodes what waits and gives the file its name. Throws on failure.
    void finish();

    std::string codecName() const { return encoder.codecName(); }

private:
    void work();
    void stop();

    MovieEncoder encoder;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::vector<unsigned char>> waiting;
    std::vector<std::vector<unsigned char>> spare; // encoded pictures' buffers, for reuse
    bool closing = false;
    bool busy = false; // the worker holds a picture
    std::exception_ptr failure;
    std::thread worker;
};
