// What happens to a connection after a reply the client could not use: it is
// never lent out again, whatever the camera does with it.
#include <gtest/gtest.h>

#include <string>

#include "camera/camera_support.h"

namespace camera_test {
namespace {

// Longer than a context's receive buffer, so that most of a broken reply is
// still unread in the socket when the client gives up on it.
const std::string kLongText(300 * 1024, 'A');

const std::string kGoodImage =
    "<scam:SingleImageResponse><scam:nSeqNr>5</scam:nSeqNr><scam:nSize>4</scam:nSize>"
    "<scam:nStatus>0</scam:nStatus><scam:data>AQIDBA==</scam:data></scam:SingleImageResponse>";

TEST(CameraConnection, ARejectedReplyOnAKeptOpenConnectionIsNotReused) {
  struct Case {
    const char *label;
    std::string body;
  };
  const Case cases[] = {
      {"character outside the base64 alphabet",
       "<scam:SingleImageResponse><scam:nSize>4</scam:nSize><scam:data>AQ!D" + kLongText +
           "</scam:data></scam:SingleImageResponse>"},
      {"unexpected reply element", "<scam:imageResponse><scam:nSize>4</scam:nSize><scam:data>" +
                                       kLongText + "</scam:data></scam:imageResponse>"},
      {"fault text over the string limit", ocamera_test::soapFault("SOAP-ENV:Server", kLongText)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.label);
    ScriptedCamera scripted;
    CameraHandle camera = scripted.create();
    ASSERT_NE(camera, nullptr);
    ASSERT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN), 0);

    scripted.answer("scam:getSingleImage", c.body);
    OCamera::Image image{};
    EXPECT_EQ(camera->getSingleImage(&image), -1);
    const std::size_t broken = scripted.requestsOf("scam:getSingleImage").back().connection;

    scripted.answer("scam:getSingleImage", kGoodImage);
    scripted.answerStatus("scam:getShutterTime", 250);
    int images = 0, shutters = 0;
    for (int i = 0; i < 12; ++i) {
      OCamera::Image next{};
      if (camera->getSingleImage(&next) == 0 && next.size == 4) ++images;
      camera->freeImage(&next);
      if (camera->getShutterTime() == 250) ++shutters;
    }
    EXPECT_EQ(images, 12);
    EXPECT_EQ(shutters, 12);
    // Nothing after the rejected reply went over its connection.
    const auto all = scripted.requests();
    std::size_t rejected = all.size();
    for (std::size_t i = 0; i < all.size() && rejected == all.size(); ++i)
      if (all[i].connection == broken && operationOf(all[i]) == "scam:getSingleImage") rejected = i;
    ASSERT_LT(rejected, all.size());
    for (std::size_t j = rejected + 1; j < all.size(); ++j)
      EXPECT_NE(all[j].connection, broken) << operationOf(all[j]) << " reused the connection";
  }
}

}  // namespace
}  // namespace camera_test
