#ifndef VSNET_PROTOCOL_H
#define VSNET_PROTOCOL_H
#endif
