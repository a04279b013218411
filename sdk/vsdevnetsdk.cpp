#include "VSDevNetSDK.h"

int vsnet_init(void)
{
    return 0;
}
int vsnet_uninit(void)
{
    return 0;
}
int vsnet_search(VSNetSearchCallback, void *)
{
    return 0;
}
int vsnet_send_json_msg(const char *, const char *)
{
    return 0;
}
