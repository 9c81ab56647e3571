// The two OData documents of a Redfish service, built from what the databases define:
//
//   serviceDocument    /redfish/v1/odata: one entry per top-level link of the service root
//   metadataDocument   /redfish/v1/$metadata: CSDL referencing DMTF's schema file and the
//                      namespaces of every "@odata.type" met on a walk of the service
//   MetadataTypes      what it needs of each resource, gathered by addMetadataTypes
//   jsonSchemaUri      DMTF's JSON schema of a resource's "@odata.type", for its Link header
#ifndef SQL2JSON_TOOLS_SERVE_ODATA_DOCUMENTS_HPP
#define SQL2JSON_TOOLS_SERVE_ODATA_DOCUMENTS_HPP

#include <map>
#include <set>
#include <string>

#include <json/value.h>

// The service document for serviceRoot (the resource at /redfish/v1).
Json::Value serviceDocument(const Json::Value& serviceRoot);

// The namespaces of the "@odata.type"s met, by the DMTF CSDL file defining them
// ("Chassis_v1.xml": "Chassis", "Chassis.v1_14_0"), and the service root's versioned one.
struct MetadataTypes {
    std::map<std::string, std::set<std::string>> byFile;
    std::string serviceRoot;
};

// Adds what resource, found at uri, tells of types to types: the namespace of every
// "@odata.type" at or below it, but under an "Oem" member (the vendor's, not DMTF's).
void addMetadataTypes(const std::string& uri, const Json::Value& resource, MetadataTypes& types);

// The CSDL $metadata XML text for types.
std::string metadataDocument(const MetadataTypes& types);

// The URI DMTF publishes the JSON schema of resource's "@odata.type" at: the file of its
// namespace ("#Chassis.v1_15_7.Chassis": .../v1/Chassis.v1_15_7.json; a collection's
// unversioned "#ChassisCollection.ChassisCollection": .../v1/ChassisCollection.json). "" when
// resource is no object with such a type.
std::string jsonSchemaUri(const Json::Value& resource);

#endif
