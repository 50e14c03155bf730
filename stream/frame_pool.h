// The buffers of one stream and the queue of frames waiting for the
// application. Both live under one mutex, so that every wait of the stream
// (a free buffer, room in the queue, a frame to take, stop) is one condition.
#pragma once

#include <ocamera/stream.h>

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace ocamera {
namespace stream {

// One reusable buffer and the frame it holds.
struct FrameSlot {
  std::unique_ptr<unsigned char[]> raw;  // filled by the camera
  std::size_t rawCapacity = 0;
  std::unique_ptr<unsigned char[]> rgb;  // the converted frame
  std::size_t rgbCapacity = 0;
  const unsigned char *data = nullptr;  // raw or rgb
  std::size_t size = 0;
  int width = 0, height = 0, channels = 1;
  OCameraTools::eBayerPattern pattern = OCameraTools::BAYER_PATTERN_GRGR;
  int seqNr = 0, timeSec = 0, timeMicroSec = 0, status = 0;
};

// Shared by the stream and every frame it handed out; it dies with the last of
// them. Nothing here allocates after construction.
class FramePool : public std::enable_shared_from_this<FramePool> {
 public:
  // count slots without buffers; reserve() gives them their memory.
  explicit FramePool(int count);
  FramePool(const FramePool &) = delete;
  FramePool &operator=(const FramePool &) = delete;

  int count() const { return static_cast<int>(slots_.size()); }
  // Gives a slot the holder owns at least rawBytes and rgbBytes of buffer.
  // Buffers only grow, so this allocates only when the frame size grew.
  static void reserve(FrameSlot &slot, std::size_t rawBytes, std::size_t rgbBytes);

  // Wraps a slot taken from this pool in a frame that gives it back.
  Frame wrap(FrameSlot *slot);
  // Puts a slot back on the free list (locks mutex).
  void giveBack(FrameSlot *slot);

  // Everything below is used under mutex.
  std::mutex mutex;
  std::condition_variable changed;  // any change of the lists or of the stream's state

  bool hasFree() const { return !free_.empty(); }
  FrameSlot *takeFree();
  void putFree(FrameSlot *slot);

  std::size_t queued() const { return queueSize_; }
  void push(FrameSlot *slot);  // at most count() slots are ever queued
  FrameSlot *popOldest();      // null when empty
  // Every queued slot back to the free list; returns how many.
  std::size_t dropQueued();

 private:
  std::vector<std::unique_ptr<FrameSlot>> slots_;
  std::vector<FrameSlot *> free_;   // reserved for every slot
  std::vector<FrameSlot *> queue_;  // ring of count() entries
  std::size_t queueHead_ = 0;
  std::size_t queueSize_ = 0;
};

}  // namespace stream
}  // namespace ocamera
