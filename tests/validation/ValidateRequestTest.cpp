// The Validate request around the certificate.
#include <gtest/gtest.h>

#include "XkmsRequest.h"

TEST(ValidateRequest, WrapsTheCertificateInTheFixedTemplate) {
  const std::string request = qelt::BuildValidateRequest("QUJD");
  EXPECT_EQ(request,
            "<?xml version=\"1.0\" encoding=\"BIG5\"?><Validate "
            "xmlns=\"http://www.xkms.org/schema/xkms-2001-01-20\" "
            "xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\"><Query><Status>Valid</Status>"
            "<ds:KeyInfo><ds:X509Data><ds:X509Certificate>QUJD</ds:X509Certificate>"
            "</ds:X509Data></ds:KeyInfo></Query></Validate>");
  EXPECT_EQ(qelt::BuildValidateRequest("").size(), qelt::kValidateRequestFixedSize);
  EXPECT_EQ(request.find('\n'), std::string::npos);
}
