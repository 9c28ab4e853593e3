#include "script/commands/web_media_commands.h"

#include "media/url_list.h"
#include "script/command_context.h"
#include "script/run_state.h"
#include "script/web_media_blocks.h"

namespace kestrawl::script {

namespace {

void WebMediaBlockCommand(CommandContext& ctx) {
  WebMediaBlock block;
  block.name = WebBlockName(ctx.Text(1));
  if (!block.name.empty()) block.urls = media::SplitUrlList(ctx.Text(2));
  block.password = WebBlockPassword(ctx.engine.script, block.name);
  ctx.run.web_media.Record(std::move(block));
}

}  // namespace

std::vector<HandlerEntry> WebMediaCommandHandlers() {
  return {{"Web Media Block", WebMediaBlockCommand}};
}

}  // namespace kestrawl::script
