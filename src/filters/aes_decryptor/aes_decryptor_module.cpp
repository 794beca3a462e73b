// The module's one class: the decryption filter, registered in the filter
// category.
#include "aes_decryptor_filter.h"
#include "dshow/factory_template.h"

CFactoryTemplate g_Templates[] = {
    {u"AES Decryption", &CLSID_AESDecryptor, CAESDecryptorFilter::CreateInstance, nullptr, &g_AESDecryptorSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
