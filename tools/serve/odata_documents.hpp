// The two OData documents of a Redfish service, built from what the databases define:
//
//   serviceDocument    /redfish/v1/odata: one entry per top-level link of the service root
//   metadataDocument   /redfish/v1/$metadata: CSDL referencing DMTF's schema file and the
//                      namespaces of every "@odata.type" met on a walk of the service
//   jsonSchemaUri      DMTF's JSON schema of a resource's "@odata.type", for its Link header
#ifndef SQL2JSON_TOOLS_SERVE_ODATA_DOCUMENTS_HPP
#define SQL2JSON_TOOLS_SERVE_ODATA_DOCUMENTS_HPP

#include <string>

#include <json/value.h>

#include "common/service_walk.hpp"

// The service document for serviceRoot (the resource at /redfish/v1).
Json::Value serviceDocument(const Json::Value& serviceRoot);

// The CSDL $metadata XML text for the resources of walk.
std::string metadataDocument(const ServiceWalk& walk);

// The URI DMTF publishes the JSON schema of resource's "@odata.type" at: the file of its
// namespace ("#Chassis.v1_15_7.Chassis": .../v1/Chassis.v1_15_7.json; a collection's
// unversioned "#ChassisCollection.ChassisCollection": .../v1/ChassisCollection.json). "" when
// resource is no object with such a type.
std::string jsonSchemaUri(const Json::Value& resource);

#endif
