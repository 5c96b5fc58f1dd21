#include "run_views.h"

std::string GroupArticleCounts(int group, int groups, int article, int articles) {
    std::string counts = "group " + std::to_string(group) + " of " + std::to_string(groups);
    if (articles > 0)
        counts += " \u00b7 article " + std::to_string(article) + " of " + std::to_string(articles);
    return counts;
}
