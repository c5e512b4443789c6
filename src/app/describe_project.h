#pragma once
// Descriptions of the five parts of a project file, as text and as JSON.
#include <string>

#include "app/project_file.h"

namespace vs {

std::string DescribeProject(const ProjectContents& project);
std::string DescribeProjectJson(const ProjectContents& project);

}  // namespace vs
