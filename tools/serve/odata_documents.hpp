// The two OData documents of a Redfish service, built from what the databases define:
//
//   serviceDocument    /redfish/v1/odata: one entry per top-level link of the service root
//   metadataDocument   /redfish/v1/$metadata: CSDL referencing DMTF's schema file and the
//                      namespaces of every "@odata.type" met on a walk of the service
#ifndef SQL2JSON_TOOLS_SERVE_ODATA_DOCUMENTS_HPP
#define SQL2JSON_TOOLS_SERVE_ODATA_DOCUMENTS_HPP

#include <string>

#include <json/value.h>

#include "common/service_walk.hpp"

// The service document for serviceRoot (the resource at /redfish/v1).
Json::Value serviceDocument(const Json::Value& serviceRoot);

// The CSDL $metadata XML text for the resources of walk.
std::string metadataDocument(const ServiceWalk& walk);

#endif
