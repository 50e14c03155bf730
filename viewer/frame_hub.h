// The frame hub: takes the newest frame from the stream's grab thread and
// gives every viewer the newest picture made of it.
//
// The grab thread only swaps a pointer (offer), so no viewer can slow the
// camera. One encoder thread converts the newest frame to RGB with the
// library, shrinks it for each scale a viewer asked for, compresses it to
// JPEG and counts its histogram; frames that arrive while it works replace
// each other, so a picture is never more than the one being made behind.
// Viewers wait for a picture newer than the one they sent last: a slow viewer
// skips pictures and never holds the others back. The number of viewers is
// bounded.
#pragma once

#include <ocamera/stream.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "viewer/histogram.h"

namespace ocam_viewer {

// One picture of one frame at one scale, as sent to viewers.
struct Picture {
  std::uint64_t generation = 0;  // rises with every picture at this scale
  int seqNr = 0;                 // the camera's sequence number of the frame
  long long cameraTimeUs = 0;    // the camera's time stamp of the capture
  int width = 0, height = 0;     // of the picture (the frame's size / scale)
  int frameWidth = 0, frameHeight = 0;
  int scale = 1;
  std::vector<unsigned char> jpeg;
  Histogram histogram;
};

class FrameHub {
 public:
  // The scales a viewer may ask for: the frame's size divided by 1, 2, 4 or 8.
  static bool validScale(int scale) { return scale == 1 || scale == 2 || scale == 4 || scale == 8; }

  explicit FrameHub(int maxViewers, int jpegQuality = 80);
  ~FrameHub();  // close()s
  FrameHub(const FrameHub &) = delete;
  FrameHub &operator=(const FrameHub &) = delete;

  // Starts the encoder thread.
  void start();
  // Ends the encoder thread and wakes every waiting viewer (wait() returns null).
  void close();
  bool closed() const;

  // The grab thread hands over a frame; the one before is released once no
  // picture is being made of it. Never blocks on viewers.
  void offer(ocamera::Frame &&frame);
  // The newest frame as it came from the camera (null before the first).
  std::shared_ptr<const ocamera::Frame> newestFrame() const;

  // A place among the viewers, held while one is connected.
  class Seat {
   public:
    ~Seat();
    int scale() const { return scale_; }

   private:
    friend class FrameHub;
    Seat(FrameHub &hub, int scale) : hub_(hub), scale_(scale) {}
    FrameHub &hub_;
    int scale_;
  };
  // A seat for a viewer of pictures at `scale` (validScale); null when all
  // maxViewers seats are taken.
  std::unique_ptr<Seat> join(int scale);
  int viewers() const;

  // Waits up to timeoutMs for a picture at the seat's scale newer than
  // generation `after`; null on time-out or when the hub closed.
  std::shared_ptr<const Picture> wait(const Seat &seat, std::uint64_t after, int timeoutMs);

  // The newest picture at any scale, for the histogram and the numbers; asks
  // the encoder to keep making pictures for a while even with no viewer.
  std::shared_ptr<const Picture> newestPicture();

 private:
  void run();
  void leave(int scale);
  std::vector<int> wantedScales(std::chrono::steady_clock::time_point now) const;

  const int maxViewers_;
  const int quality_;
  mutable std::mutex mutex_;
  std::condition_variable frameReady_;    // the encoder waits for a frame
  std::condition_variable pictureReady_;  // viewers wait for a picture
  bool closed_ = false;
  std::shared_ptr<const ocamera::Frame> frame_;
  std::uint64_t frameCount_ = 0;  // frames offered
  std::map<int, int> seats_;      // viewers per scale
  // Scales kept being made for a while after a viewer asked, so that one
  // that asks picture by picture finds the next one made.
  std::map<int, std::chrono::steady_clock::time_point> askedUntil_;
  std::map<int, std::shared_ptr<const Picture>> pictures_;
  std::shared_ptr<const Picture> newest_;
  std::uint64_t generation_ = 0;
  std::chrono::steady_clock::time_point numbersUntil_{};  // pictures wanted without a viewer
  std::thread encoder_;
};

}  // namespace ocam_viewer
