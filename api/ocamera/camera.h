// OCamera: the application's view of the camera (acquisition, triggering,
// exposure, illumination, image retrieval, image memory, sensor registers and
// on-camera processing).
#pragma once

#include <ocamera/export.h>
#include <ocamera/tools.h>

// Obtain an object with CreateCameraInterface and end it with destroy(); never
// delete it. Each object has its own session on the camera, its own pool of
// connections and one background thread that keeps the session alive.
//
// Results: an operation returns the camera's status for it (0 = success, or the
// value asked for by a getter), and -1 when the request failed (no connection,
// SOAP fault, malformed reply). No operation throws for a failed request.
//
// Thread safety: operations may be called from several threads at once; each
// runs as its own request. Exceptions: setAcquisitionMode and
// getSensorRegisterNames change state of the object and must not run at the
// same time as any other operation of the same object. destroy may overlap
// calls of other threads: it cuts the calls in flight (they return -1), makes
// calls that reach the object meanwhile fail with -1 (getImageCount 0,
// getSensorRegisterNames null), waits for them to leave (a cut call leaves at
// once, one still connecting within the 2 s connect time-out; the wait ends
// after 10 s) and only then frees the object. The object is gone once destroy
// has returned: no call may start after that.
class OCAMERA_API OCamera {
 public:
  enum eCameraType : int {
    CAM_TYPE_MT9V403 = 3,
    CAM_TYPE_GENERIC = 4,
    CAM_TYPE_IBIS1300 = 5,
    CAM_TYPE_MT9V022 = 6
  };
  enum eAcqMode : int {
    ACQ_MODE_STOP = 1,
    ACQ_MODE_SINGLE_SHOT = 2,
    ACQ_MODE_FREE_RUN = 3,
    ACQ_MODE_SELECT_SHOT = 4,
    ACQ_MODE_FREE_RUN_SLAVE = 8,
    ACQ_MODE_FREE_RUN_SLAVE_STOP = 11  // exists on the wire; refused by setAcquisitionMode
  };
  enum eTrigSource : int {
    TRIG_SRC_SOFTWARE = 1,
    TRIG_SRC_EXTERNAL_E0 = 2,
    TRIG_SRC_EXTERNAL_E1 = 3
  };
  enum eTrigPolarity : int { TRIG_POL_ACTIVE_HIGH = 1, TRIG_POL_ACTIVE_LOW = 2 };
  enum eIllMode : int { ILL_MODE_OFF = 1, ILL_MODE_NORMAL = 2, ILL_MODE_PULSED = 3 };
  enum eIllModeExt : int {
    ILL_MODE_EXT_OFF = 0,
    ILL_MODE_EXT_ON_POSITIVE = 1,
    ILL_MODE_EXT_ON_NEGATIVE = 2
  };
  enum eFrequency : int { FREQU_20MHz = 0, FREQU_40MHz = 1, FREQU_50MHz = 2, FREQU_60MHz = 3 };
  enum eJPEGQuality : int {
    JPEG_QUALITY_LOW = 0,
    JPEG_QUALITY_MEDIUM = 1,
    JPEG_QUALITY_GOOD = 2,
    JPEG_QUALITY_EXCELLENT = 3
  };
  enum eBayer2XType : int {
    BAYER_OUTPUT_RAW = 0,
    BAYER_OUTPUT_H = 1,
    BAYER_OUTPUT_S = 2,
    BAYER_OUTPUT_V = 3,
    BAYER_OUTPUT_I = 4,
    BAYER_OUTPUT_R = 5,
    BAYER_OUTPUT_G = 6,
    BAYER_OUTPUT_B = 7
  };
  enum eAppletType : int {
    APPLET_IN16_OUT32_INT = 0,
    APPLET_IN8_OUT32_INT = 1,
    APPLET_IN16_OUT16 = 2,
    APPLET_IN8_OUT16 = 3
  };
  enum eCorrectionType : int {
    CORRECTION_REPLACE = 0,
    CORRECTION_MASK_AND = 1,
    CORRECTION_MASK_OR = 2,
    CORRECTION_RESERVED_1 = 3
  };
  enum eSplitType : int { SPLIT_OFF = 0, SPLIT_RAW = 1, SPLIT_PROCESSED = 2 };
  enum eFilterType : int {
    FILTER_OFF = 0,
    FILTER_BINARIZE_ONLY = 1,
    FILTER_MEDIAN = 2,
    FILTER_MEAN = 3,
    FILTER_SNN = 4,
    FILTER_SOBEL = 5,
    FILTER_RESERVED_1 = 6,
    FILTER_RESERVED_2 = 7,
    FILTER_RESERVED_3 = 8
  };
  enum ePointPriority : int {
    PRIO_FIRST_POINT = 0,
    PRIO_LAST_POINT = 1,
    PRIO_LARGEST_FIRST = 2,
    PRIO_LARGEST_LAST = 3
  };
  enum eProfileDirection : int { DIRECTION_TOP_DOWN = 0, DIRECTION_BOTTOM_UP = 1 };
  enum eLaserOutputFormat : int {
    LASER_OUTPUT_16_4 = 4,
    LASER_OUTPUT_8_0 = 16,
    LASER_OUTPUT_8_1 = 17,
    LASER_OUTPUT_8_2 = 18,
    LASER_OUTPUT_8_3 = 19,
    LASER_OUTPUT_8_4 = 20
  };

  // One image with its acquisition data. After getSingleImage the object's
  // caller owns data and gives it back with freeImage; with getSingleImageInto
  // data points to the caller's own buffer.
  struct Image {
    unsigned char *data;
    int seqNr;
    int timeSec;
    int timeMicroSec;
    int size;  // number of bytes at data
    int status;
  };
  struct CalibrationParams {
    unsigned numParam, param1, param2;
  };
  struct FilterParams {
    unsigned numParam, param1, param2;
  };
  struct BinarizationParams {
    bool invert;
    unsigned char numThreshold, threshold1, threshold2;
  };
  struct LaserSetup {
    bool enable;
    int x0, y0, width, height;
    ePointPriority priority;
    eProfileDirection direction;
    int threshMin, threshMax, areaMin, areaMax;
    eLaserOutputFormat subRes;
    const unsigned char *refData;  // width bytes of reference data, or null
  };

  OCamera() = default;
  OCamera(const OCamera &) = default;
  OCamera &operator=(const OCamera &) = default;

  // A camera object for the factory-default address (port 80), or null.
  static OCamera *CreateCameraInterface(eCameraType type);

  // Slot 0. Ends the calls in flight (see "Thread safety" above), sends the
  // destroy request, closes the session and frees the object. Returns the
  // destroy request's status, or -1 when it failed. Should calls of other
  // threads still be running after the wait (the machine stalled), destroy
  // returns -1 at once and leaves the object and its session as they are.
  virtual int destroy() = 0;
  virtual int open(int frameBufferSize, int maxBuffers) = 0;
  virtual int close() = 0;
  // Delivers the next image into memory the library allocates (give it back
  // with freeImage). Only in acquisition modes 2, 3, 4 and 8; otherwise -1 and
  // nothing is sent. When the camera sends no image but a non-zero status (its
  // read time-out passed, the session is gone) that status is returned and
  // stored in image->status, data null and size 0. An empty image with status
  // 0 gives data null, size 0 and result 0.
  virtual int getSingleImage(Image *image) = 0;
  // Frees image->data (from getSingleImage) and sets it to null, whatever the
  // acquisition mode is now; "grab, stop acquisition, free" frees the image.
  // The result is still the image gate's: 0 in acquisition modes 2, 3, 4 and
  // 8, -1 in every other mode (and for a null image).
  virtual int freeImage(Image *image) = 0;
  virtual int getMaxImageCount() = 0;
  virtual int getImageCount() = 0;  // 0 when the request failed
  // Accepts 1, 2, 3, 4 and 8; anything else returns -1 without traffic.
  virtual int setAcquisitionMode(eAcqMode mode) = 0;
  virtual int setTriggerSource(eTrigSource source, eTrigPolarity polarity) = 0;
  virtual int setIlluminationMode(eIllMode mode) = 0;
  virtual int setIlluminationModeExternal(eIllModeExt mode) = 0;
  virtual int setIlluminationTiming(int delay, int period) = 0;
  virtual int switchIllumination(bool on) = 0;
  // Values are passed to the camera unchanged; the camera checks them and
  // answers a non-zero status for one out of its range. Units and the ranges
  // of the simulated camera (ocamsim):
  // Exposure time in microseconds, 1..1000000 (10000 at start).
  virtual int setShutterTime(int shutter) = 0;
  virtual int getShutterTime() = 0;  // microseconds
  // Region of the sensor delivered, in pixels from the top-left corner; it
  // must lie inside the sensor (width and height at least 1).
  virtual int setCameraWindow(int x0, int y0, int width, int height) = 0;
  // Frames per second in the free-running modes, above 0 and at most 1000 (30
  // at start).
  virtual int setFrameRate(float fps) = 0;
  virtual int setFrameRate(int fps) = 0;
  // Delay from a trigger to its picture in microseconds, 0..10000000.
  virtual int setTriggerDelay(int delay) = 0;
  // Gain factor, 1..32 (1 at start).
  virtual int setGain(int factor) = 0;
  virtual int initColor() = 0;
  // How long getSingleImage waits for a frame in milliseconds (1000 at start);
  // when it passes the camera answers its time-out status without an image.
  virtual int setReadTimeout(int timeout) = 0;
  virtual int reserved1() = 0;  // always 0, sends nothing
  virtual int setCircularOverwrite(bool overwrite) = 0;
  virtual int setJPEG(bool enable, eJPEGQuality quality, bool byteStuffEnable,
                      OCameraTools::eBayerPattern pattern, bool forceGreyscale) = 0;
  virtual int setFrequency(eFrequency frequency) = 0;
  // Delivers the next image straight into the buffer image->data points to.
  // The caller must provide room for the whole image (the window's width x
  // height bytes). The camera announces the image's size with it; nothing is
  // written past that size, and an image longer than announced fails with -1
  // (the buffer's content is then unspecified). No image with a non-zero status
  // returns that status and stores it in image->status; an empty image with
  // status 0 returns -1 and leaves the record untouched.
  virtual int getSingleImageInto(Image *image) = 0;
  // Reads length bytes of image RAM (byte addresses); copies them only when
  // the camera's status is 0. A refusal without data (an address range outside
  // the RAM) returns the camera's status; -1 when the request failed or the
  // reply's data is not exactly length bytes.
  virtual int readImageRAM(void *destination, unsigned address, unsigned length) = 0;
  virtual int writeImageRAM(const void *data, unsigned address, unsigned length) = 0;
  // Reads reduced data of at most length bytes; *returnedLength receives the
  // number of bytes copied (0 on any failure). A reply longer than length is
  // refused with -1 and nothing is copied.
  virtual int readImageRAMReducedData(void *destination, unsigned address, unsigned length,
                                      int *returnedLength) = 0;
  virtual int imageRAMToImageRAM(unsigned srcAddress, unsigned srcLength, unsigned destAddress,
                                 unsigned destLength) = 0;
  virtual int initImageRAM() = 0;
  virtual int disableImageRAM() = 0;
  virtual int getImageToImageRAM(unsigned address) = 0;
  virtual int reserved2() = 0;  // always -1, sends nothing
  virtual int resetSequenceCounter() = 0;
  virtual int purgeImages() = 0;
  virtual int calibrateSensor(const CalibrationParams *params) = 0;  // params may be null
  virtual int setSensorRegister(const char *name, unsigned value) = 0;
  // On success *value receives the register's value; on failure it is not written.
  virtual int getSensorRegister(const char *name, unsigned *value) = 0;
  // The camera's register names, ending in a null entry, or null when the
  // request failed. The object owns the list; it stays valid until the next
  // successful call of this operation or destroy.
  virtual const char *const *getSensorRegisterNames() = 0;
  virtual int triggerImage() = 0;
  virtual int triggerImageAbort() = 0;
  virtual int setupLaserProfiling(LaserSetup setup) = 0;
  virtual int setHardwareApplet(bool enable, unsigned maxSize, eAppletType applet) = 0;
  virtual int setMedian(bool enable) = 0;
  virtual int setFilter(eFilterType filter, const FilterParams *params) = 0;
  virtual int setBinarization(bool enable, const BinarizationParams *params) = 0;
  virtual int setBayer2X(eBayer2XType output, OCameraTools::eBayerPattern pattern) = 0;
  // table: 768 bytes, or null to send no table.
  virtual int setWhiteBalance(OCameraTools::eBayerPattern pattern, const unsigned char *table) = 0;
  virtual int setImageRAMPictureSize(int width, int height) = 0;
  virtual int setTriggerWindow(int x0, int y0, int width, int height, int threshMin,
                               int threshMax) = 0;
  virtual int setupImageCorrection(bool enable, eCorrectionType type, unsigned startAddress,
                                   unsigned size, unsigned images) = 0;
  virtual int setupImageSplitting(eSplitType type, unsigned destAddress, unsigned size) = 0;

 protected:
  ~OCamera() = default;  // end an object with destroy()
};

// Connects to the camera at address (a host, "host:port", or "http://host:port"),
// opens a session on its camera device and creates the camera for the sensor
// type. Returns null on failure, after one line on standard error or to the
// log handler; a null or empty address returns null as well. Nothing is thrown.
OCAMERA_API OCamera *CreateCameraInterface(OCamera::eCameraType type, const char *address);
