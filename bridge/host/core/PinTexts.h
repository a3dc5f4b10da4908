// The PIN dialog's texts, Traditional Chinese like the host's other texts.
// {host} and {origin} as in the consent box; {holder}: the name the card
// gives.
#pragma once

namespace qelt::bridge::text {

constexpr const char* kPinTitle = "QELTReader";
// The host name on a line of its own above the full origin, as in the
// consent box, so a look-alike name cannot hide in a long origin.
constexpr const char* kPinSite = "網站\r\n\r\n    {host}\r\n\r\n（{origin}）";
constexpr const char* kPinForSignIn = "要求您以憑證IC卡登入。";
constexpr const char* kPinForSign = "要求您以憑證IC卡簽署下方的文字。";
constexpr const char* kPinForCheck = "要求檢查您的憑證IC卡的PIN碼。";
constexpr const char* kPinCertificateSent = "此網站將收到卡片的憑證，其中有持卡人的姓名。";
constexpr const char* kPinHolder = "持卡人：{holder}";
constexpr const char* kPinPrompt = "請輸入憑證IC卡的PIN碼：";
// The toolkit's own message for a wrong PIN, word for word.
constexpr const char* kPinWrong = "PinCode錯誤";
constexpr const char* kPinOk = "確定";
constexpr const char* kPinCancel = "取消";

}  // namespace qelt::bridge::text
