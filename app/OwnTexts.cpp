#include "app/OwnTexts.h"

#include "app/IniFile.h"

namespace {

struct OwnDefault {
    const char* name;
    const char* defaultText; // UTF-8
};

// Indexed by OwnKey; the built-in Simplified Chinese texts.
constexpr std::array<OwnDefault, OwnTexts::KeyCount> Defaults = {{
    {"Viewer_Title", "证书"},
    {"Viewer_General", "常规"},
    {"Viewer_Details", "详细信息"},
    {"Viewer_Information", "证书信息"},
    {"Viewer_Purposes", "此证书的预期用途"},
    {"Viewer_IssuedTo", "颁发给"},
    {"Viewer_IssuedBy", "颁发者"},
    {"Viewer_ValidFrom", "有效期从"},
    {"Viewer_ValidTo", "有效期到"},
    {"Viewer_Expired", "此证书已过期"},
    {"Viewer_NotYetValid", "此证书尚未生效"},
    {"Viewer_Field", "字段"},
    {"Viewer_Value", "值"},
    {"Viewer_CopyToFile", "复制到文件…"},
    {"Viewer_OK", "确定"},
    {"Viewer_SaveCaption", "保存证书"},
    {"Viewer_SaveFilter", "DER 编码的证书 (*.cer)"},
    {"Viewer_SaveFailed", "无法写入证书文件"},
    {"Viewer_Version", "版本"},
    {"Viewer_SerialNumber", "序列号"},
    {"Viewer_SignatureAlgorithm", "签名算法"},
    {"Viewer_SignatureHash", "签名哈希算法"},
    {"Viewer_Issuer", "颁发者"},
    {"Viewer_Subject", "使用者"},
    {"Viewer_PublicKey", "公钥"},
    {"Viewer_PublicKeyValue", "公钥值"},
    {"Viewer_Thumbprint", "指纹"},
    {"Viewer_Critical", "关键扩展"},
    {"Viewer_BasicConstraints", "基本约束"},
    {"Viewer_KeyUsage", "密钥用法"},
    {"Viewer_ExtendedKeyUsage", "增强型密钥用法"},
    {"Viewer_SubjectKeyId", "使用者密钥标识符"},
    {"Viewer_AuthorityKeyId", "颁发机构密钥标识符"},
    {"Viewer_SubjectAltName", "使用者可选名称"},
    {"Viewer_IssuerAltName", "颁发者可选名称"},
    {"Viewer_CrlDistributionPoints", "CRL 分发点"},
    {"Viewer_AuthorityInfoAccess", "颁发机构信息访问"},
    {"Viewer_CertificatePolicies", "证书策略"},
    {"Viewer_ServerAuth", "服务器身份验证"},
    {"Viewer_ClientAuth", "客户端身份验证"},
    {"Viewer_CodeSigning", "代码签名"},
    {"Viewer_SecureEmail", "安全电子邮件"},
    {"Viewer_TimeStamping", "时间戳"},
    {"Viewer_OcspSigning", "OCSP 签名"},
    {"Viewer_AllPurposes", "所有用途"},
    {"Viewer_DigitalSignature", "数字签名"},
    {"Viewer_NonRepudiation", "不可否认"},
    {"Viewer_KeyEncipherment", "密钥加密"},
    {"Viewer_DataEncipherment", "数据加密"},
    {"Viewer_KeyAgreement", "密钥协商"},
    {"Viewer_CertificateSigning", "证书签名"},
    {"Viewer_CrlSigning", "CRL 签名"},
    {"Viewer_EncipherOnly", "仅加密"},
    {"Viewer_DecipherOnly", "仅解密"},
    {"Study_Title", "指纹学习"},
    {"Study_Adjust", "调整手指姿势录入不同区域..."},
    {"Study_Prompt", "指示灯闪烁，将手指放在指纹采集器上..."},
    {"Study_Close", "关闭"},
    {"Study_Again", "重新学习(&R)"},
    {"Study_Closing", "即将关闭"},
    {"Study_Passed", "学习成功,手指离开指纹器..."},
    {"Study_Done", "学习成功"},
    {"Study_NotMatched", "指纹不匹配,手指离开指纹器..."},
    {"Study_NoCertificate", "指纹未绑定证书"},
    {"Study_TestFailed", "测试指纹失败,手指离开指纹器..."},
    {"Study_Exists", "指纹已存在,手指离开指纹器..."},
    {"Study_NotEnrolled", "指纹不存在,手指离开指纹器..."},
    {"Study_VendorTool", "请使用F7Xtra指纹管理工具"},
    {"Update_NoLogFolder", "无法在%1下建立更新日志的文件夹"},
}};

} // namespace

OwnTexts::OwnTexts() {
    for (int i = 0; i < KeyCount; ++i)
        m_texts[i] = QString::fromUtf8(Defaults[i].defaultText);
}

OwnTexts& OwnTexts::instance() {
    static OwnTexts table;
    return table;
}

QString OwnTexts::keyName(OwnKey key) {
    return QString::fromLatin1(Defaults[static_cast<int>(key)].name);
}

QString OwnTexts::defaultText(OwnKey key) {
    return QString::fromUtf8(Defaults[static_cast<int>(key)].defaultText);
}

void OwnTexts::load(const IniFile& file) {
    const QString section = QStringLiteral("Caption");
    for (int i = 0; i < KeyCount; ++i) {
        const auto key = static_cast<OwnKey>(i);
        m_texts[i] = file.readString(section, keyName(key), defaultText(key));
    }
}
