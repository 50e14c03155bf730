// The frame pool and the frame handle.
#include "stream/frame_pool.h"

#include <utility>

namespace ocamera {
namespace stream {

FramePool::FramePool(int count) {
  slots_.reserve(count);
  free_.reserve(count);
  queue_.assign(count, nullptr);
  for (int i = 0; i < count; ++i) {
    slots_.push_back(std::make_unique<FrameSlot>());
    free_.push_back(slots_.back().get());
  }
}

void FramePool::reserve(FrameSlot &slot, std::size_t rawBytes, std::size_t rgbBytes) {
  // Left uninitialised on purpose: every frame overwrites what it shows.
  if (slot.rawCapacity < rawBytes) {
    slot.raw.reset();
    slot.raw.reset(new unsigned char[rawBytes]);
    slot.rawCapacity = rawBytes;
  }
  if (slot.rgbCapacity < rgbBytes) {
    slot.rgb.reset();
    slot.rgb.reset(new unsigned char[rgbBytes]);
    slot.rgbCapacity = rgbBytes;
  }
}

Frame FramePool::wrap(FrameSlot *slot) { return Frame(shared_from_this(), slot); }

void FramePool::giveBack(FrameSlot *slot) {
  std::lock_guard<std::mutex> lock(mutex);
  putFree(slot);
}

FrameSlot *FramePool::takeFree() {
  if (free_.empty()) return nullptr;
  FrameSlot *slot = free_.back();
  free_.pop_back();
  return slot;
}

void FramePool::putFree(FrameSlot *slot) {
  free_.push_back(slot);  // never beyond the reserved count: each slot is free at most once
  changed.notify_all();
}

void FramePool::push(FrameSlot *slot) {
  queue_[(queueHead_ + queueSize_) % queue_.size()] = slot;
  ++queueSize_;
  changed.notify_all();
}

FrameSlot *FramePool::popOldest() {
  if (queueSize_ == 0) return nullptr;
  FrameSlot *slot = queue_[queueHead_];
  queueHead_ = (queueHead_ + 1) % queue_.size();
  --queueSize_;
  changed.notify_all();
  return slot;
}

std::size_t FramePool::dropQueued() {
  std::size_t n = 0;
  while (FrameSlot *slot = popOldest()) {
    putFree(slot);
    ++n;
  }
  return n;
}

}  // namespace stream

// ---------------------------------------------------------------- Frame

Frame::Frame(std::shared_ptr<stream::FramePool> pool, stream::FrameSlot *slot) noexcept
    : pool_(std::move(pool)), slot_(slot) {}

Frame::Frame(Frame &&other) noexcept : pool_(std::move(other.pool_)), slot_(other.slot_) {
  other.slot_ = nullptr;
}

Frame &Frame::operator=(Frame &&other) noexcept {
  if (this != &other) {
    release();
    pool_ = std::move(other.pool_);
    slot_ = other.slot_;
    other.slot_ = nullptr;
  }
  return *this;
}

Frame::~Frame() { release(); }

void Frame::release() noexcept {
  if (slot_) pool_->giveBack(slot_);
  slot_ = nullptr;
  pool_.reset();
}

const unsigned char *Frame::data() const noexcept { return slot_ ? slot_->data : nullptr; }
std::size_t Frame::size() const noexcept { return slot_ ? slot_->size : 0; }
int Frame::width() const noexcept { return slot_ ? slot_->width : 0; }
int Frame::height() const noexcept { return slot_ ? slot_->height : 0; }
int Frame::channels() const noexcept { return slot_ ? slot_->channels : 0; }
OCameraTools::eBayerPattern Frame::pattern() const noexcept {
  return slot_ ? slot_->pattern : OCameraTools::BAYER_PATTERN_GRGR;
}
int Frame::seqNr() const noexcept { return slot_ ? slot_->seqNr : 0; }
int Frame::timeSec() const noexcept { return slot_ ? slot_->timeSec : 0; }
int Frame::timeMicroSec() const noexcept { return slot_ ? slot_->timeMicroSec : 0; }
int Frame::status() const noexcept { return slot_ ? slot_->status : 0; }

}  // namespace ocamera
